#include "imageio/WatermarkExif.h"

#include <string_view>
#include <tuple>
#include <vector>

#include "imageio/PluginManager.h"
#include "util/Error.h"
#include "util/Utils.h"

namespace tvx::Watermark {

void TWatermarkExif::SaveToStream(TStream& stream) const {
  stream.WriteSignature(Signature);
  stream.WriteValue<int32_t>(Version);
  for (bool flag : {WriteTitle, WriteCopyright, WriteArtist, WriteComment})
    stream.WriteValue<uint8_t>(flag ? 1 : 0);
  for (const std::string* text : {&Title, &Copyright, &Artist, &Comment}) WriteString(stream, *text);
}

void TWatermarkExif::LoadFromStream(TStream& stream) {
  if (stream.ReadSignature() != std::string_view(Signature, 4))
    RaiseError("TWatermarkExif::LoadFromStream", 51, "Invalid signature!");
  int32_t version = stream.ReadValue<int32_t>();
  if (version != Version)
    RaiseError("TWatermarkExif::LoadFromStream", 66, "Unknown version (" + std::to_string(version) + ")!");
  TWatermarkExif read;
  for (bool* flag : {&read.WriteTitle, &read.WriteCopyright, &read.WriteArtist, &read.WriteComment})
    *flag = stream.ReadValue<uint8_t>() != 0;
  for (std::string* text : {&read.Title, &read.Copyright, &read.Artist, &read.Comment})
    *text = ReadString(stream);
  *this = std::move(read);
}

void ApplyWatermarkExif(const TPluginManager& manager, const TWatermarkExif& exif,
                        const std::string& sourceFileName, const std::string& outputFileName) {
  std::vector<TExifFieldText> fields;
  for (auto [write, tag, text] :
       {std::tuple{exif.WriteTitle, TWatermarkExif::TitleTag, &exif.Title},
        std::tuple{exif.WriteCopyright, TWatermarkExif::CopyrightTag, &exif.Copyright},
        std::tuple{exif.WriteArtist, TWatermarkExif::ArtistTag, &exif.Artist},
        std::tuple{exif.WriteComment, TWatermarkExif::CommentTag, &exif.Comment}})
    if (write) fields.push_back({tag, *text});
  // Each separate call rewrites the output once; a plug-in that serves both
  // files can do them all in one rewrite. Without fields the copy is one
  // rewrite anyway.
  if (!fields.empty() && manager.ApplyExif(sourceFileName, outputFileName, fields)) return;
  // A source without EXIF, or an output format that cannot hold it, is not
  // a failure of the run: the results are deliberately not checked.
  manager.CopyExif(sourceFileName, outputFileName);
  for (const TExifFieldText& field : fields) manager.WriteExif(outputFileName, field.Tag, field.Text);
}

}  // namespace tvx::Watermark
