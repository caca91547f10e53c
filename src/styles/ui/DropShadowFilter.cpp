#include "styles/ui/DropShadowFilter.h"

#include "controls/ui/AngleSelector.h"
#include "controls/ui/ColorSelector.h"

namespace tvx {

TDropShadowFilter::TDropShadowFilter(QWidget* parent) : TFilterConfig(kDropShadowKind, 210, parent) {
  const auto& f = TShadowRecord::ShadowFields;
  tbSize = AddSlider(0, f[0]);
  tbOpacity = AddSlider(1, f[1]);
  tbDistance = AddSlider(2, f[2]);
  clrColor = AddColor(3, f[4]);
  angAngle = AddAngle(4, f[3]);
}

void TDropShadowFilter::SetDefaults() { Show(TShadowRecord::Defaults()); }

void TDropShadowFilter::SetParams(const TFilterParams* params) {
  Show(TShadowRecord::FromParams(params).value_or(TShadowRecord::Defaults()));
}

void TDropShadowFilter::Show(const TShadowRecord& r) {
  TLoading loading(*this);
  tbSize->SetValue(r.Size);
  tbOpacity->SetValue(static_cast<int>(r.Opacity));
  tbDistance->SetValue(static_cast<int>(r.Distance));
  clrColor->SetColor(r.Color);
  angAngle->SetAngle(r.Angle);
}

TFilterParams TDropShadowFilter::GetParams() const {
  TShadowRecord r;
  r.Size = tbSize->Value();
  r.Opacity = static_cast<uint32_t>(tbOpacity->Value());
  r.Distance = static_cast<uint32_t>(tbDistance->Value());
  r.Angle = angAngle->Angle();
  r.Color = clrColor->Color();
  return r.ToParams();
}

}  // namespace tvx
