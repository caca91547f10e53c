#include "watermark/WatermarkFile.h"

#include <filesystem>

#include "util/Error.h"
#include "util/Utils.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"

namespace tvx {

void ResetWatermark(TLayerCollection& layers, Watermark::TWatermarkExif& exif) {
  layers.Clear();
  exif = Watermark::TWatermarkExif();
}

void OpenWatermark(TStream& stream, TLayerCollection& layers, Watermark::TWatermarkExif& exif) {
  ResetWatermark(layers, exif);
  char magic[4];
  if (stream.Read(magic, 4) != 4 || std::string_view(magic, 4) != "TVX1") return;
  const auto version = stream.ReadValue<int32_t>();
  if (version != 1) RaiseError("Open", 149, "Unknown version (" + std::to_string(version) + ")!");
  while (stream.Remaining() >= 4) {
    const std::string chunk = ReadString(stream);
    if (chunk == "TBitmapLayer")
      layers.Add<TBitmapLayer>().LoadFromStream(stream);
    else if (chunk == "TTextLayer")
      layers.Add<TTextLayer>().LoadFromStream(stream);
    else if (chunk == "TWatermarkExif")
      exif.LoadFromStream(stream);
    else
      RaiseError("Open", 137, "Unknown chunk class (" + chunk + ")!");
  }
}

void OpenWatermark(const std::string& fileName, TLayerCollection& layers, Watermark::TWatermarkExif& exif) {
  ResetWatermark(layers, exif);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(fileName, ec)) return;
  TMemoryStream stream;
  stream.LoadFromFile(fileName);
  OpenWatermark(stream, layers, exif);
}

void SaveWatermark(TStream& stream, const TLayerCollection& layers, const Watermark::TWatermarkExif& exif) {
  stream.WriteSignature("TVX1");
  stream.WriteValue<int32_t>(1);
  for (int i = 0; i < layers.Count(); ++i) {
    const TCustomLayer* layer = &layers.Items(i);
    if (auto* text = dynamic_cast<const TTextLayer*>(layer)) {
      WriteString(stream, "TTextLayer");
      text->SaveToStream(stream);
    } else if (auto* picture = dynamic_cast<const TBitmapLayer*>(layer)) {
      WriteString(stream, "TBitmapLayer");
      picture->SaveToStream(stream);
    }
  }
  WriteString(stream, "TWatermarkExif");
  exif.SaveToStream(stream);
}

void SaveWatermark(const std::string& fileName, const TLayerCollection& layers,
                   const Watermark::TWatermarkExif& exif) {
  TMemoryStream stream;
  SaveWatermark(stream, layers, exif);
  stream.SaveToFile(fileName);
}

}  // namespace tvx
