#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imageio/WatermarkExif.h"
#include "raster/Layers.h"

namespace tvx {

/// The current watermark: its layers in stacking order, its EXIF settings,
/// the file it was last opened from or saved to, and whether it changed
/// since. The layer collection keeps its identity for the document's life
/// (a view binds to it once); opening, resetting and restoring replace the
/// layers inside it.
///
/// Not thread-safe: used from the user-interface thread (or a batch run).
class TWatermarkDocument {
 public:
  /// An in-memory copy of the whole watermark: the bytes a watermark file
  /// would hold, plus the name and the modified flag.
  struct TSnapshot {
    std::vector<uint8_t> Bytes;
    std::string FileName;
    bool Modified = false;
    friend bool operator==(const TSnapshot&, const TSnapshot&) = default;
  };

  using TListener = std::function<void()>;
  using TToken = uint64_t;

  TWatermarkDocument();
  ~TWatermarkDocument();
  TWatermarkDocument(const TWatermarkDocument&) = delete;
  TWatermarkDocument& operator=(const TWatermarkDocument&) = delete;

  TLayerCollection& Layers() { return layers_; }
  const TLayerCollection& Layers() const { return layers_; }
  Watermark::TWatermarkExif& Exif() { return exif_; }
  const Watermark::TWatermarkExif& Exif() const { return exif_; }

  /// Empty for a watermark that was never opened or saved.
  const std::string& FileName() const { return fileName_; }
  bool Modified() const { return modified_; }

  /// No layers and no EXIF field chosen: nothing to put on a picture.
  bool IsEmpty() const;

  /// No layers, default EXIF settings, no file name, not modified. Notifies.
  void Reset();
  /// Reads the file into a fresh watermark and, only when that succeeds,
  /// takes it over (file name set, not modified) and notifies. A missing
  /// file, or one that is not a watermark file, reads as an empty watermark.
  /// On an error the document is left exactly as it was and the error
  /// propagates.
  void Open(const std::string& fileName);
  /// Writes the watermark file (safely: a failure leaves the old file);
  /// then the file name is fileName, the document is not modified, and the
  /// listeners are told.
  void Save(const std::string& fileName);

  TSnapshot Snapshot() const;
  /// Takes the snapshot's watermark, name and modified flag back; saving
  /// afterwards writes the snapshot's bytes. A snapshot that does not read
  /// raises and leaves the document as it was. Notifies.
  void Restore(const TSnapshot& snapshot);

  /// Moves every layer of source, in order, into the document in place of
  /// its layers and takes the EXIF settings; source is left empty and the
  /// file name stays. Does not notify: the caller marks the change with
  /// Changed(). The editor hands its finished layers back this way.
  void ReplaceContent(TLayerCollection& source, const Watermark::TWatermarkExif& exif);

  /// Marks the document modified (or not) and notifies; what changes layers
  /// or EXIF settings from outside (the editor) calls it.
  void Changed(bool modified = true);

  /// Adds a listener called after every change; the token removes it.
  /// Listeners run in the order they subscribed. A listener may unsubscribe
  /// itself or another during a notification: a removed listener is not
  /// called any more, not even later in the same notification. One added
  /// during a notification is first called at the next one.
  TToken Subscribe(TListener listener);
  /// Unknown or already removed tokens are ignored.
  void Unsubscribe(TToken token);

 private:
  struct TEntry {
    TToken Token;
    std::shared_ptr<TListener> Listener;  // reset when unsubscribed
  };
  /// Calls every listener; when some raise, the others still run and the
  /// first error propagates afterwards.
  void Notify();
  /// Moves the layers of source into the document's collection, replacing
  /// what it held, and takes the EXIF settings.
  void TakeOver(TLayerCollection& source, const Watermark::TWatermarkExif& exif);

  TLayerCollection layers_;
  Watermark::TWatermarkExif exif_;
  std::string fileName_;
  bool modified_ = false;
  std::vector<TEntry> listeners_;
  TToken nextToken_ = 1;
};

}  // namespace tvx
