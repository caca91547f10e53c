#include "styles/ui/StrokeFilter.h"

#include <QComboBox>

#include "controls/ui/ColorSelector.h"

namespace tvx {

TStrokeFilter::TStrokeFilter(QWidget* parent) : TFilterConfig(kStrokeKind, 150, parent) {
  const auto& f = TStrokeRecord::Fields;
  tbSize = AddSlider(0, f[0]);
  tbOpacity = AddSlider(1, f[1]);
  lstPosition = AddList(2, f[2], TStrokeRecord::PositionNames);
  clrColor = AddColor(3, f[3]);
}

void TStrokeFilter::SetDefaults() { Show(TStrokeRecord::Defaults()); }

void TStrokeFilter::SetParams(const TFilterParams* params) {
  Show(TStrokeRecord::FromParams(params).value_or(TStrokeRecord::Defaults()));
}

void TStrokeFilter::Show(const TStrokeRecord& r) {
  TLoading loading(*this);
  tbSize->SetValue(r.Size);
  tbOpacity->SetValue(r.Opacity);
  lstPosition->setCurrentIndex(r.Position);
  clrColor->SetColor(r.Color);
}

TFilterParams TStrokeFilter::GetParams() const {
  TStrokeRecord r;
  r.Size = tbSize->Value();
  r.Opacity = tbOpacity->Value();
  r.Position = lstPosition->currentIndex() == spOutside ? spOutside : spInside;
  r.Color = clrColor->Color();
  return r.ToParams();
}

}  // namespace tvx
