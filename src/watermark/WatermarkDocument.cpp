#include "watermark/WatermarkDocument.h"

#include <algorithm>
#include <exception>

#include "util/Stream.h"
#include "watermark/WatermarkFile.h"

namespace tvx {

TWatermarkDocument::TWatermarkDocument() = default;

TWatermarkDocument::~TWatermarkDocument() {
  // Listeners belong to objects that may already be gone.
  listeners_.clear();
  layers_.Clear();
}

bool TWatermarkDocument::IsEmpty() const { return layers_.Count() == 0 && exif_.IsEmpty(); }

void TWatermarkDocument::TakeOver(TLayerCollection& source, const Watermark::TWatermarkExif& exif) {
  layers_.Clear();
  while (source.Count() > 0) layers_.Insert(layers_.Count(), source.Extract(0));
  exif_ = exif;
}

void TWatermarkDocument::ReplaceContent(TLayerCollection& source, const Watermark::TWatermarkExif& exif) {
  TakeOver(source, exif);
}

void TWatermarkDocument::Reset() {
  ResetWatermark(layers_, exif_);
  fileName_.clear();
  modified_ = false;
  Notify();
}

void TWatermarkDocument::Open(const std::string& fileName) {
  // Everything that can fail happens on the side: a damaged file must not
  // cost the user the watermark they had.
  TLayerCollection fresh;
  Watermark::TWatermarkExif exif;
  OpenWatermark(fileName, fresh, exif);
  TakeOver(fresh, exif);
  fileName_ = fileName;
  modified_ = false;
  Notify();
}

void TWatermarkDocument::Save(const std::string& fileName) {
  SaveWatermark(fileName, layers_, exif_);
  fileName_ = fileName;
  modified_ = false;
  Notify();
}

TWatermarkDocument::TSnapshot TWatermarkDocument::Snapshot() const {
  TMemoryStream stream;
  SaveWatermark(stream, layers_, exif_);
  return TSnapshot{stream.TakeBytes(), fileName_, modified_};
}

void TWatermarkDocument::Restore(const TSnapshot& snapshot) {
  TMemoryStream stream(snapshot.Bytes);
  TLayerCollection fresh;
  Watermark::TWatermarkExif exif;
  OpenWatermark(stream, fresh, exif);
  TakeOver(fresh, exif);
  fileName_ = snapshot.FileName;
  modified_ = snapshot.Modified;
  Notify();
}

void TWatermarkDocument::Changed(bool modified) {
  modified_ = modified;
  Notify();
}

TWatermarkDocument::TToken TWatermarkDocument::Subscribe(TListener listener) {
  const TToken token = nextToken_++;
  listeners_.push_back(TEntry{token, std::make_shared<TListener>(std::move(listener))});
  return token;
}

void TWatermarkDocument::Unsubscribe(TToken token) {
  auto it = std::find_if(listeners_.begin(), listeners_.end(),
                         [token](const TEntry& e) { return e.Token == token; });
  if (it == listeners_.end()) return;
  // A notification in progress holds its own copy of the list: the empty
  // function tells it that this listener is gone.
  *it->Listener = nullptr;
  listeners_.erase(it);
}

void TWatermarkDocument::Notify() {
  const std::vector<TEntry> round = listeners_;
  std::exception_ptr first;
  for (const TEntry& entry : round) {
    // Copied before the call: the listener may unsubscribe itself.
    const TListener listener = *entry.Listener;
    if (!listener) continue;
    try {
      listener();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

}  // namespace tvx
