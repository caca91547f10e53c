#pragma once

#include "styles/ui/FilterConfig.h"

namespace tvx {

/// The settings frame of "Glow": size, opacity, colour. Its blocks are
/// shadow blocks without displacement.
class TGlowFilter : public TFilterConfig {
  Q_OBJECT

 public:
  explicit TGlowFilter(QWidget* parent = nullptr);

  void SetDefaults() override;
  void SetParams(const TFilterParams* params) override;
  TFilterParams GetParams() const override;

  TSliderField* tbSize;
  TSliderField* tbOpacity;
  TColorSelector* clrColor;

 private:
  void Show(const TShadowRecord& record);
};

}  // namespace tvx
