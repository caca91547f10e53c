#include "watermark/TextLayer.h"

#include <algorithm>
#include <cmath>

#include "raster/TextRasterizer.h"
#include "util/Error.h"
#include "util/Utils.h"
#include "watermark/Macros.h"

namespace tvx {
namespace {

constexpr int32_t kMaxSize = 10000;  // the resampler's own limit
// A font of more points than this would rasterise into bitmaps far beyond
// any picture the program handles.
constexpr int32_t kMaxFontSize = 10000;

TTextJustify ToRasterJustify(uint8_t justification) {
  switch (justification) {
    case tjRight: return tjFar;
    case tjCentered: return tjCenter;
    default: return tjNear;
  }
}

// The stored factor is a float: natural x factor lands a hair below the
// displayed size it was computed from about every other time, and truncating
// that would shrink a stretched text by a pixel at every save and load. A
// product within 1/100 of a whole number is that number.
int32_t StretchedSize(int32_t natural, float factor) {
  const double exact = double(natural) * factor;
  const double nearest = std::round(exact);
  const double size = std::abs(exact - nearest) < 0.01 ? nearest : std::trunc(exact);
  return int32_t(std::clamp(size, 0.0, double(kMaxSize + 1)));
}

}  // namespace

std::function<int(TTextLayer&)> TTextLayer::ConfigureDialog;

TTextLayer::TTextLayer(TLayerCollection* collection) : TBaseLayer(collection) {}

int TTextLayer::Configure() { return ConfigureDialog ? ConfigureDialog(*this) : 2; }

void TTextLayer::ApplySettings(const std::string& name, const std::string& text, const TLayerFont& font,
                               uint8_t justification) {
  TLayerUpdate update(*this);
  Name = name;
  Text = text;
  Font = font;
  Justification = justification;
  RenderText();
}

void TTextLayer::Rasterize(int32_t fontSize, TBitmap32& out) const {
  static const TExifParameters kNoPicture;
  const std::string expanded =
      ShowMacroNames ? Text : ExpandMacros(Text, PictureParameters ? *PictureParameters : kNoPicture);
  TTextFont font;
  font.Family = Font.Name;
  font.Size = std::clamp(fontSize, 0, kMaxFontSize);
  font.Color = Color32(Font.Color);
  font.Bold = Font.Bold;
  font.Italic = Font.Italic;
  font.Underline = Font.Underline;
  font.StrikeOut = Font.StrikeOut;
  if (font.Size > 0) {
    ::tvx::RenderText(expanded, font, ToRasterJustify(Justification), out);
    CropToOpaque(out);
  } else {
    out.SetSize(0, 0);  // nothing to measure at 0 points
  }
}

void TTextLayer::RenderText() {
  TLayerUpdate update(*this);
  TBitmap32& b = SourceBitmap();
  if (Text.empty()) {
    b.SetSize(0, 0);
  } else {
    Rasterize(Font.Size, b);
    SetDrawModes();
    NaturalWidth = b.Width();
    NaturalHeight = b.Height();
  }
}

void TTextLayer::ScaleContent(int32_t width, int32_t height, TBitmap32& out) const {
  const TBitmap32& source = SourceBitmap();
  if (Text.empty() || source.Empty() || Font.Size <= 0) {
    TBaseLayer::ScaleContent(width, height, out);
    return;
  }
  // Rendered again at the size it is drawn, so that a text never shows the
  // blur of an upscaled bitmap. The font size grows with the height shown.
  // A stretched text is rendered a little larger and resampled to the exact
  // size, which keeps the stretch; a text at its natural proportions is used
  // as rendered when whole points come within 3 % of the size (sharper, and
  // a turned text on a large picture is not resampled for nothing).
  const bool natural = source.Width() == NaturalWidth && source.Height() == NaturalHeight;
  const double exact = double(Font.Size) * height / source.Height();
  const double size = natural ? std::max(1.0, std::round(exact)) : std::ceil(exact);
  if (!(size >= 1) || size > kMaxFontSize) {
    TBaseLayer::ScaleContent(width, height, out);
    return;
  }
  try {
    Rasterize(int32_t(size), out);
  } catch (const EError&) {
    // Too large for the rasteriser: the bitmap resampled instead.
    TBaseLayer::ScaleContent(width, height, out);
    return;
  }
  if (out.Width() <= 1 && out.Height() <= 1) {
    TBaseLayer::ScaleContent(width, height, out);
    return;
  }
  auto near = [](int32_t got, int32_t want) { return std::abs(got - want) <= std::max(1.0, want * 0.03); };
  if (natural && near(out.Width(), width) && near(out.Height(), height)) return;
  ResampleBitmap(out, width, height);
}

double TTextLayer::FittingHeight() const {
  const TBitmap32& source = SourceBitmap();
  if (Font.Size <= 0 || NaturalHeight <= 0 || source.Empty()) return TBaseLayer::FittingHeight();
  // The rasteriser's pixel size, times the stretch the bitmap was given.
  return std::round(Font.Size * 96.0 / 72.0) * source.Height() / NaturalHeight;
}

void TTextLayer::ResizeTo(int32_t width, int32_t height) {
  if (width < 0 || height < 0 || width > kMaxSize || height > kMaxSize) return;
  TLayerUpdate update(*this);
  const auto lines = 1 + int32_t(std::count(Text.begin(), Text.end(), '\n'));
  Font.Size = height / lines;
  RenderText();
  ResampleBitmap(SourceBitmap(), width, height);
}

bool TTextLayer::HasMacros() const { return TextHasMacros(Text); }

void TTextLayer::RefreshContent() {
  if (!HasMacros()) return;
  const int64_t nw = NaturalWidth, nh = NaturalHeight;
  const int64_t sw = SourceBitmap().Width(), sh = SourceBitmap().Height();
  RenderText();
  // Never rendered before: the natural size is the displayed size.
  if (nw <= 0 || nh <= 0) return;
  TLayerUpdate update(*this);
  ResampleBitmap(SourceBitmap(), int32_t(std::min<int64_t>(sw * NaturalWidth / nw, kMaxSize + 1)),
                 int32_t(std::min<int64_t>(sh * NaturalHeight / nh, kMaxSize + 1)));
}

void TTextLayer::AssignTo(TCustomLayer& dest) const {
  try {
    TBaseLayer::AssignTo(dest);
  } catch (const EError&) {
    // the check below reports a wrong destination with this class's own error
  }
  auto* d = dynamic_cast<TTextLayer*>(&dest);
  if (!d) RaiseError("TTextLayer::AssignTo", 339, "Object can not be assigned to!");
  if (d == this) return;
  TLayerUpdate update(*d);
  d->Font = Font;
  d->Text = Text;
  d->ResizeTo(SourceBitmap().Width(), SourceBitmap().Height());
}

std::unique_ptr<TBaseLayer> TTextLayer::Clone(TLayerCollection* collection) const {
  auto copy = std::make_unique<TTextLayer>(collection);
  copy->CopyBaseState(*this);
  copy->Font = Font;
  copy->Justification = Justification;
  copy->Text = Text;
  copy->NaturalWidth = NaturalWidth;
  copy->NaturalHeight = NaturalHeight;
  copy->PictureParameters = PictureParameters;
  copy->ShowMacroNames = ShowMacroNames;
  return copy;
}

float TTextLayer::HorizontalStretch() const {
  const TBitmap32& b = SourceBitmap();
  return NaturalWidth > 0 && !b.Empty() ? float(b.Width()) / float(NaturalWidth) : 1.0f;
}

float TTextLayer::VerticalStretch() const {
  const TBitmap32& b = SourceBitmap();
  return NaturalHeight > 0 && !b.Empty() ? float(b.Height()) / float(NaturalHeight) : 1.0f;
}

void TTextLayer::SaveToStream(TStream& stream) const {
  TBaseLayer::SaveToStream(stream);
  stream.WriteSignature("TXTL");
  stream.WriteValue<int32_t>(2);
  stream.WriteValue<float>(HorizontalStretch());
  stream.WriteValue<float>(VerticalStretch());
  WriteString(stream, Text);
  WriteString(stream, Font.Name);
  stream.WriteValue<int32_t>(Font.Size);
  stream.WriteValue<uint32_t>(Font.Color);
  for (bool style : {Font.Bold, Font.Italic, Font.Underline, Font.StrikeOut})
    stream.WriteValue<uint8_t>(style ? 1 : 0);
  stream.WriteValue<uint8_t>(Justification);
}

void TTextLayer::LoadFromStream(TStream& stream) {
  TBaseLayer::LoadFromStream(stream);
  TLayerUpdate update(*this);
  if (stream.ReadSignature() != "TXTL") RaiseError("TTextLayer::LoadFromStream", 76, "Invalid signature!");
  const auto version = stream.ReadValue<int32_t>();
  auto readFont = [&] {
    Text = ReadString(stream);
    Font.Name = ReadString(stream);
    const auto size = stream.ReadValue<int32_t>();
    if (size < 0 || size > kMaxFontSize)
      RaiseError("TTextLayer::LoadFromStream", 121, "Invalid font size (" + std::to_string(size) + ")!");
    Font.Size = size;
    Font.Color = stream.ReadValue<uint32_t>();
    Font.Bold = stream.ReadValue<uint8_t>() != 0;
    Font.Italic = stream.ReadValue<uint8_t>() != 0;
    Font.Underline = stream.ReadValue<uint8_t>() != 0;
    Font.StrikeOut = stream.ReadValue<uint8_t>() != 0;
  };
  if (version == 2) {
    const auto fx = stream.ReadValue<float>();
    const auto fy = stream.ReadValue<float>();
    readFont();
    Justification = stream.ReadValue<uint8_t>();
    // An empty text never uses its factors (older writers stored 0 or NaN then).
    if (!Text.empty() && !(std::isfinite(fx) && std::isfinite(fy) && fx > 0 && fy > 0))
      RaiseError("TTextLayer::LoadFromStream", 131, "Invalid stretch factor!");
    RenderText();
    if (!Text.empty())
      ResampleBitmap(SourceBitmap(), StretchedSize(NaturalWidth, fx), StretchedSize(NaturalHeight, fy));
  } else if (version == 1) {
    readFont();
    const auto width = stream.ReadValue<int32_t>();
    const auto height = stream.ReadValue<int32_t>();
    ResizeTo(width, height);
  } else {
    RaiseError("TTextLayer::LoadFromStream", 152, "Unknown version (" + std::to_string(version) + ")!");
  }
}

}  // namespace tvx
