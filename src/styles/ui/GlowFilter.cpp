#include "styles/ui/GlowFilter.h"

#include "controls/ui/ColorSelector.h"

namespace tvx {

TGlowFilter::TGlowFilter(QWidget* parent) : TFilterConfig(kGlowKind, 150, parent) {
  const auto& f = TShadowRecord::GlowFields;
  tbSize = AddSlider(0, f[0]);
  tbOpacity = AddSlider(1, f[1]);
  clrColor = AddColor(2, f[4]);
}

void TGlowFilter::SetDefaults() { Show(TShadowRecord::GlowDefaults()); }

void TGlowFilter::SetParams(const TFilterParams* params) {
  Show(TShadowRecord::FromParams(params).value_or(TShadowRecord::GlowDefaults()));
}

void TGlowFilter::Show(const TShadowRecord& r) {
  TLoading loading(*this);
  tbSize->SetValue(r.Size);
  tbOpacity->SetValue(static_cast<int>(r.Opacity));
  clrColor->SetColor(r.Color);
}

TFilterParams TGlowFilter::GetParams() const {
  TShadowRecord r = TShadowRecord::GlowDefaults();  // no distance, no angle
  r.Size = tbSize->Value();
  r.Opacity = static_cast<uint32_t>(tbOpacity->Value());
  r.Color = clrColor->Color();
  return r.ToParams();
}

}  // namespace tvx
