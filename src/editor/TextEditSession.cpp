#include "editor/TextEditSession.h"

#include <algorithm>

#include "editor/EditorRules.h"
#include "util/Utils.h"

namespace tvx {

TTextEditSession::TTextEditSession(TTextLayer& layer, TPlaced placed)
    : layer_(layer), placed_(std::move(placed)) {
  backup_ = TTextSettings{layer.Name, layer.Text, layer.Font, layer.Justification};
  lastGood_ = backup_;
  naturalWidth_ = layer.NaturalWidth;
  naturalHeight_ = layer.NaturalHeight;
  sourceWidth_ = layer.SourceBitmap().Width();
  sourceHeight_ = layer.SourceBitmap().Height();
  layer_.SetStylesEnabled(false);
  Render();
}

TTextEditSession::~TTextEditSession() {
  if (finished_) return;
  try {
    Cancel();
  } catch (...) {
    // A destructor reports nothing; the layer keeps what it shows.
  }
}

TTextSettings TTextEditSession::Current() const {
  return TTextSettings{backup_.Name, layer_.Text, layer_.Font, layer_.Justification};
}

void TTextEditSession::Apply(const TTextSettings& settings) {
  layer_.Text = settings.Text;
  layer_.Font = settings.Font;
  layer_.Justification = settings.Justification;
}

void TTextEditSession::Render() {
  {
    TLayerUpdate update(layer_);
    layer_.RenderText();
    // The stretch lives in the ratio of source to natural size; it is kept
    // while the size the user chose is the one the stretch was made at.
    if (layer_.Font.Size == backup_.Font.Size && naturalWidth_ > 0 && naturalHeight_ > 0 &&
        !layer_.SourceBitmap().Empty()) {
      const int64_t w = int64_t(layer_.NaturalWidth) * sourceWidth_ / naturalWidth_;
      const int64_t h = int64_t(layer_.NaturalHeight) * sourceHeight_ / naturalHeight_;
      ResampleBitmap(layer_.SourceBitmap(), int32_t(std::min<int64_t>(w, 10001)),
                     int32_t(std::min<int64_t>(h, 10001)));
    }
  }
  if (placed_) placed_(layer_);
}

void TTextEditSession::Change(const std::function<void(TTextSettings&)>& edit) {
  TTextSettings next = Current();
  edit(next);
  Apply(next);
  try {
    Render();
    lastGood_ = Current();
  } catch (...) {
    Apply(lastGood_);
    Render();
    throw;
  }
}

void TTextEditSession::SetText(const std::string& text) {
  Change([&](TTextSettings& s) { s.Text = ToCrLfLineBreaks(text); });
}

void TTextEditSession::SetFontName(const std::string& name) {
  Change([&](TTextSettings& s) { s.Font.Name = name; });
}

void TTextEditSession::SetFontSize(int32_t size) {
  if (size < 1) return;
  Change([&](TTextSettings& s) { s.Font.Size = std::min(size, kMaxFieldFontSize); });
}

void TTextEditSession::SetColor(uint32_t color) {
  Change([&](TTextSettings& s) { s.Font.Color = color & 0x00FFFFFFu; });
}

void TTextEditSession::SetStyle(bool bold, bool italic, bool underline, bool strikeOut) {
  Change([&](TTextSettings& s) {
    s.Font.Bold = bold;
    s.Font.Italic = italic;
    s.Font.Underline = underline;
    s.Font.StrikeOut = strikeOut;
  });
}

void TTextEditSession::SetJustification(uint8_t justification) {
  Change([&](TTextSettings& s) {
    s.Justification = justification <= tjCentered ? justification : uint8_t(tjLeft);
  });
}

void TTextEditSession::Ok() {
  finished_ = true;
  layer_.Name = FirstLine(layer_.Text);
  layer_.SetStylesEnabled(true);
  Render();
}

void TTextEditSession::Cancel() {
  finished_ = true;
  layer_.Name = backup_.Name;
  Apply(backup_);
  layer_.SetStylesEnabled(true);
  Render();
}

}  // namespace tvx
