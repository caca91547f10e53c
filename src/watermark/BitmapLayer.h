#pragma once

#include <functional>
#include <string>

#include "watermark/BaseLayer.h"

namespace tvx {

class TPluginManager;

/// A watermark layer whose content is a picture. The pixels live in the
/// layer (and in the watermark file); the picture file is read only when the
/// user chooses it.
class TBitmapLayer : public TBaseLayer {
 public:
  explicit TBitmapLayer(TLayerCollection* collection);

  /// The picture file last chosen; kept only while the program runs.
  std::string FileName;

  /// The settings dialog, installed by the program: returns 1 (OK) or 2
  /// (Cancel) and applies its values through ApplySettings.
  static std::function<int(TBitmapLayer&)> ConfigureDialog;

  /// 1 OK, 2 Cancel; 2 when no dialog is installed.
  int Configure() override;

  /// What the settings dialog's OK does: takes the name and, when the file
  /// name changed, loads that picture (an empty name empties the layer).
  /// A picture that cannot be loaded raises the plug-in manager's error and
  /// leaves the previous picture, with the new name and file name.
  void ApplySettings(const std::string& name, const std::string& fileName, const TPluginManager& plugins);

  /// Resamples the picture (Lanczos); does not render.
  void ResizeTo(int32_t width, int32_t height) override;
  /// Copies the base layer's part and the file name.
  void AssignTo(TCustomLayer& dest) const override;
  std::unique_ptr<TBaseLayer> Clone(TLayerCollection* collection) const override;

  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
};

}  // namespace tvx
