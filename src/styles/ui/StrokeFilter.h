#pragma once

#include "styles/ui/FilterConfig.h"

class QComboBox;

namespace tvx {

/// The settings frame of "Stroke": size, opacity, position, colour.
class TStrokeFilter : public TFilterConfig {
  Q_OBJECT

 public:
  explicit TStrokeFilter(QWidget* parent = nullptr);

  void SetDefaults() override;
  void SetParams(const TFilterParams* params) override;
  TFilterParams GetParams() const override;

  TSliderField* tbSize;
  TSliderField* tbOpacity;
  QComboBox* lstPosition;
  TColorSelector* clrColor;

 private:
  void Show(const TStrokeRecord& record);
};

}  // namespace tvx
