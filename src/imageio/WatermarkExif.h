#pragma once

#include <string>

#include "imageio/FilePlugin.h"
#include "util/Stream.h"

namespace tvx {

class TPluginManager;

namespace Watermark {

/// The four EXIF text fields a watermark writes into every output picture.
/// A new record has every flag off and every text empty. Stored in the
/// watermark file as the "WMEX" block, version 1.
struct TWatermarkExif {
  static constexpr char Signature[5] = "WMEX";
  static constexpr int32_t Version = 1;

  static constexpr ExifTag TitleTag = 270;        ///< ImageDescription
  static constexpr ExifTag CopyrightTag = 33432;  ///< Copyright
  static constexpr ExifTag ArtistTag = 315;       ///< Artist
  static constexpr ExifTag CommentTag = 37510;    ///< UserComment

  bool WriteTitle = false;
  bool WriteCopyright = false;
  bool WriteArtist = false;
  bool WriteComment = false;
  std::string Title;
  std::string Copyright;
  std::string Artist;
  std::string Comment;  ///< may hold several lines separated by CR LF

  /// True when no field is chosen, whatever the texts.
  bool IsEmpty() const { return !(WriteTitle || WriteCopyright || WriteArtist || WriteComment); }

  /// "WMEX", version 1, the four flags as one byte each, the four texts as
  /// stream strings.
  void SaveToStream(TStream& stream) const;
  /// Reads the block written by SaveToStream; any non-zero flag byte is true.
  /// Raises "TWatermarkExif::LoadFromStream::51 - Invalid signature!" or
  /// "...::66 - Unknown version (N)!", and the string reader's errors. On an
  /// error the record keeps its previous values.
  void LoadFromStream(TStream& stream);

  friend bool operator==(const TWatermarkExif&, const TWatermarkExif&) = default;
};

/// Gives the output file the source's EXIF block and then the record's
/// chosen fields, after the output was written from the source: CopyExif
/// (routed by the source's extension), then WriteExif on the output for each
/// chosen field in the order title, copyright, artist, comment; an empty
/// text is written too. The plug-ins' false results are ignored (a source
/// without EXIF, an output format without it); an extension no plug-in
/// serves raises the manager's "Unsupported file plugin!" error. When one
/// plug-in serves both files and offers it, these calls are made as one
/// (TPluginManager::ApplyExif), with the same result in one rewrite.
void ApplyWatermarkExif(const TPluginManager& manager, const TWatermarkExif& exif,
                        const std::string& sourceFileName, const std::string& outputFileName);

}  // namespace Watermark
}  // namespace tvx
