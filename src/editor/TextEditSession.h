#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "watermark/TextLayer.h"

namespace tvx {

/// What the text dialog edits of a text layer.
struct TTextSettings {
  std::string Name;
  std::string Text;  ///< lines separated by CR LF
  TLayerFont Font;
  uint8_t Justification = tjLeft;
  friend bool operator==(const TTextSettings&, const TTextSettings&) = default;
};

/// The text layer dialog's model: a live preview of every change on the
/// layer itself, and OK or Cancel at the end.
///
/// While it lasts the layer shows its plain text (styles off). Every change
/// re-renders the text; while the font size is the one the layer had when
/// the session began, the stretch the user gave the layer with the handles
/// is kept: the new text is stretched by the factors its source bitmap had
/// then (source sizes, so styles that enlarge the rendered bitmap do not
/// inflate the text). After every rendering the placed callback runs (the
/// editor puts the layer where it belongs on its canvas).
///
/// A change the layer cannot render (a text too large for the rasteriser)
/// puts the layer back to the last settings that rendered and raises the
/// error, so the caller can show it and the layer stays usable.
class TTextEditSession {
 public:
  using TPlaced = std::function<void(TTextLayer&)>;

  /// Takes the backup, turns the styles off and renders once.
  explicit TTextEditSession(TTextLayer& layer, TPlaced placed = {});
  /// Cancels when neither Ok nor Cancel ran; never raises.
  ~TTextEditSession();
  TTextEditSession(const TTextEditSession&) = delete;
  TTextEditSession& operator=(const TTextEditSession&) = delete;

  TTextLayer& Layer() { return layer_; }
  /// The layer's settings when the session began.
  const TTextSettings& Backup() const { return backup_; }
  /// The settings as edited so far (Name is still the backup's).
  TTextSettings Current() const;

  /// Line breaks become CR LF.
  void SetText(const std::string& text);
  void SetFontName(const std::string& name);
  /// Sizes below 1 are refused (nothing changes); larger ones are capped at kMaxFieldFontSize.
  void SetFontSize(int32_t size);
  void SetColor(uint32_t color);
  void SetStyle(bool bold, bool italic, bool underline, bool strikeOut);
  void SetJustification(uint8_t justification);

  /// Keeps the edits: the name becomes the text's first line; styles on.
  void Ok();
  /// Puts back name, text, font and justification; styles on.
  void Cancel();
  bool Finished() const { return finished_; }

 private:
  void Apply(const TTextSettings& settings);
  void Change(const std::function<void(TTextSettings&)>& edit);
  void Render();

  TTextLayer& layer_;
  TPlaced placed_;
  TTextSettings backup_;
  TTextSettings lastGood_;
  int32_t naturalWidth_ = 0, naturalHeight_ = 0;  // at the start
  int32_t sourceWidth_ = 0, sourceHeight_ = 0;    // at the start
  bool finished_ = false;
};

}  // namespace tvx
