#pragma once

#include "styles/ui/FilterConfig.h"

namespace tvx {

/// The settings frame of "Drop Shadow": size, opacity, distance, colour, angle.
class TDropShadowFilter : public TFilterConfig {
  Q_OBJECT

 public:
  explicit TDropShadowFilter(QWidget* parent = nullptr);

  void SetDefaults() override;
  void SetParams(const TFilterParams* params) override;
  TFilterParams GetParams() const override;

  TSliderField* tbSize;
  TSliderField* tbOpacity;
  TSliderField* tbDistance;
  TColorSelector* clrColor;
  TAngleSelector* angAngle;

 private:
  void Show(const TShadowRecord& record);
};

}  // namespace tvx
