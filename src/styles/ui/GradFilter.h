#pragma once

#include "styles/ui/FilterConfig.h"

class QComboBox;
class QPushButton;

namespace tvx {

class TGradSelector;

/// The settings frame of "Gradient": type, the colour ramp with "Reverse",
/// and the angle.
class TGradFilter : public TFilterConfig {
  Q_OBJECT

 public:
  explicit TGradFilter(QWidget* parent = nullptr);

  void SetDefaults() override;
  void SetParams(const TFilterParams* params) override;
  TFilterParams GetParams() const override;

  QComboBox* lstType;
  TGradSelector* grdGradient;
  QPushButton* btnReverse;
  TAngleSelector* angAngle;

 private:
  void Show(const TGradient& gradient);
  void btnReverseClick();
};

}  // namespace tvx
