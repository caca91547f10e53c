#include "watermark/BitmapLayer.h"

#include "imageio/PluginManager.h"
#include "util/Error.h"
#include "util/Utils.h"

namespace tvx {

std::function<int(TBitmapLayer&)> TBitmapLayer::ConfigureDialog;

TBitmapLayer::TBitmapLayer(TLayerCollection* collection) : TBaseLayer(collection) {}

int TBitmapLayer::Configure() { return ConfigureDialog ? ConfigureDialog(*this) : 2; }

void TBitmapLayer::ApplySettings(const std::string& name, const std::string& fileName,
                                 const TPluginManager& plugins) {
  TLayerUpdate update(*this);
  Name = name;
  if (fileName != FileName) {
    FileName = fileName;
    if (fileName.empty())
      SourceBitmap().SetSize(0, 0);
    else
      plugins.LoadBitmap(fileName, SourceBitmap());
  }
}

void TBitmapLayer::ResizeTo(int32_t width, int32_t height) { ResampleBitmap(SourceBitmap(), width, height); }

void TBitmapLayer::AssignTo(TCustomLayer& dest) const {
  try {
    TBaseLayer::AssignTo(dest);
  } catch (const EError&) {
    // the check below reports a wrong destination with this class's own error
  }
  auto* d = dynamic_cast<TBitmapLayer*>(&dest);
  if (!d) RaiseError("TBitmapLayer::AssignTo", 121, "Object can not be assigned to!");
  d->FileName = FileName;
}

std::unique_ptr<TBaseLayer> TBitmapLayer::Clone(TLayerCollection* collection) const {
  auto copy = std::make_unique<TBitmapLayer>(collection);
  copy->CopyBaseState(*this);
  copy->FileName = FileName;
  return copy;
}

void TBitmapLayer::SaveToStream(TStream& stream) const {
  TBaseLayer::SaveToStream(stream);
  stream.WriteSignature("BMPL");
  stream.WriteValue<int32_t>(1);
  const TBitmap32& b = SourceBitmap();
  stream.WriteValue<int32_t>(b.Width());
  stream.WriteValue<int32_t>(b.Height());
  if (!b.Empty()) stream.Write(b.Bits(), size_t(b.Width()) * size_t(b.Height()) * 4);
}

void TBitmapLayer::LoadFromStream(TStream& stream) {
  TBaseLayer::LoadFromStream(stream);
  if (stream.ReadSignature() != "BMPL") RaiseError("TBitmapLayer::LoadFromStream", 74, "Invalid signature!");
  const auto version = stream.ReadValue<int32_t>();
  if (version != 1)
    RaiseError("TBitmapLayer::LoadFromStream", 91, "Unknown version (" + std::to_string(version) + ")!");
  TLayerUpdate update(*this);
  const auto width = stream.ReadValue<int32_t>();
  const auto height = stream.ReadValue<int32_t>();
  if (width < 0 || height < 0)
    RaiseError("TBitmapLayer::LoadFromStream", 97,
               "Invalid picture size (" + std::to_string(width) + " x " + std::to_string(height) + ")!");
  // The pixels must be in the file before their memory is taken.
  if (width > 0 && height > 0 && int64_t(width) > stream.Remaining() / 4 / height)
    RaiseError(
        "TBitmapLayer::LoadFromStream", 99,
        "Picture size (" + std::to_string(width) + " x " + std::to_string(height) + ") exceeds the stream!");
  TBitmap32& b = SourceBitmap();
  if (width > 0 && height > 0) {
    b.SetSize(width, height);
    stream.ReadBuffer(b.Bits(), size_t(width) * size_t(height) * 4);
  } else {
    b.SetSize(0, 0);
  }
}

}  // namespace tvx
