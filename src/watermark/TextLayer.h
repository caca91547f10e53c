#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "imageio/FilePlugin.h"
#include "watermark/BaseLayer.h"

namespace tvx {

/// The font of a text layer as stored: colour as a system colour value
/// 0x00BBGGRR (red in the low byte), size in points.
struct TLayerFont {
  std::string Name = "DejaVu Sans";
  int32_t Size = 16;
  uint32_t Color = 0x00FF0000;  // blue
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  friend bool operator==(const TLayerFont&, const TLayerFont&) = default;
};

/// Alignment of the lines of a text relative to each other.
enum TTextJustification : uint8_t { tjLeft = 0, tjRight = 1, tjCentered = 2 };

/// A watermark layer whose content is text, possibly with macros filled in
/// per picture. The source bitmap holds the rendered text, possibly
/// stretched; NaturalWidth x NaturalHeight is its unstretched size.
class TTextLayer : public TBaseLayer {
 public:
  explicit TTextLayer(TLayerCollection* collection);

  TLayerFont Font;
  uint8_t Justification = tjLeft;
  std::string Text = "Text";
  int32_t NaturalWidth = 0;
  int32_t NaturalHeight = 0;

  /// The picture the macros are expanded for; not owned, may be null (then
  /// macros expand to empty texts and zeros). The owner of the picture
  /// parameters sets it (see SetPictureParameters).
  const TExifParameters* PictureParameters = nullptr;
  /// Renders the macros as written instead of expanding them: the editor
  /// shows a watermark this way while it has no picture, so that a text made
  /// of macros only is not empty and can be placed.
  bool ShowMacroNames = false;

  /// The settings dialog, installed by the program: returns 1 (OK) or 2
  /// (Cancel); it applies its values through ApplySettings.
  static std::function<int(TTextLayer&)> ConfigureDialog;

  /// 1 OK, 2 Cancel; 2 when no dialog is installed.
  int Configure() override;
  /// What the settings dialog's OK does: new name, text, font and justification, rendered.
  void ApplySettings(const std::string& name, const std::string& text, const TLayerFont& font,
                     uint8_t justification);

  /// Rasterises the expanded text at natural size into the source bitmap
  /// and renders the layer.
  void RenderText();
  /// Font size from the height and the number of lines, rendered, then
  /// stretched to exactly width x height. Sizes outside 0..10000 do nothing.
  void ResizeTo(int32_t width, int32_t height) override;
  bool HasMacros() const override;
  /// For texts with macros: renders for the current picture, keeping the stretch.
  void RefreshContent() override;
  void AssignTo(TCustomLayer& dest) const override;
  std::unique_ptr<TBaseLayer> Clone(TLayerCollection* collection) const override;

  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;

  /// The stored stretch factors: displayed size / natural size, 1.0 when
  /// there is no natural size or no content.
  float HorizontalStretch() const;
  float VerticalStretch() const;

 protected:
  void ScaleContent(int32_t width, int32_t height, TBitmap32& out) const override;
  double FittingHeight() const override;

 private:
  /// The expanded text at fontSize points, cropped to its ink.
  void Rasterize(int32_t fontSize, TBitmap32& out) const;
};

}  // namespace tvx
