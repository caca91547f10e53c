#include "editor/EditorHistory.h"

#include <algorithm>

#include "util/Error.h"
#include "util/Stream.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

using TBlock = std::shared_ptr<const std::vector<uint8_t>>;

bool SameBlock(const TBlock& a, const TBlock& b) { return a == b || (a && b && *a == *b); }

// The block itself, or an equal one of the previous records.
TBlock Share(std::vector<uint8_t> bytes, const std::vector<TLayerRecord>* previous,
             TBlock TLayerRecord::*field) {
  if (previous)
    for (const TLayerRecord& r : *previous) {
      const TBlock& old = r.*field;
      if (old && old->size() == bytes.size() && *old == bytes) return old;
    }
  return std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
}

const std::string kEmpty;

}  // namespace

bool TLayerRecord::SameAs(const TLayerRecord& other) const {
  return ClassName == other.ClassName && Tag == other.Tag && FileName == other.FileName &&
         SameBlock(Base, other.Base) && SameBlock(Content, other.Content);
}

bool TEditorState::SameWatermark(const TEditorState& other) const {
  if (!(Exif == other.Exif) || Layers.size() != other.Layers.size()) return false;
  for (size_t i = 0; i < Layers.size(); ++i)
    if (!Layers[i].SameAs(other.Layers[i])) return false;
  return true;
}

TLayerRecord RecordLayer(const TBaseLayer& layer, const std::vector<TLayerRecord>* previous) {
  TLayerRecord record;
  if (auto* picture = dynamic_cast<const TBitmapLayer*>(&layer)) {
    record.ClassName = "TBitmapLayer";
    record.FileName = picture->FileName;
  } else if (dynamic_cast<const TTextLayer*>(&layer)) {
    record.ClassName = "TTextLayer";
  } else {
    RaiseError("RecordLayer", 1, "This function is not supported for this type of layers!");
  }
  TMemoryStream base;
  layer.TBaseLayer::SaveToStream(base);
  TMemoryStream whole;
  layer.SaveToStream(whole);
  std::vector<uint8_t> bytes = whole.TakeBytes();
  const size_t split = size_t(base.Size());
  std::vector<uint8_t> content(bytes.begin() + std::ptrdiff_t(split), bytes.end());
  bytes.resize(split);
  record.Base = Share(std::move(bytes), previous, &TLayerRecord::Base);
  record.Content = Share(std::move(content), previous, &TLayerRecord::Content);
  record.Tag = layer.Tag;
  return record;
}

std::unique_ptr<TBaseLayer> RestoreLayer(const TLayerRecord& record, TLayerCollection* collection,
                                         const TExifParameters* picture, bool showMacroNames) {
  std::unique_ptr<TBaseLayer> layer;
  if (record.ClassName == "TTextLayer") {
    auto text = std::make_unique<TTextLayer>(collection);
    text->PictureParameters = picture;
    text->ShowMacroNames = showMacroNames;
    layer = std::move(text);
  } else if (record.ClassName == "TBitmapLayer") {
    auto bitmap = std::make_unique<TBitmapLayer>(collection);
    bitmap->FileName = record.FileName;
    layer = std::move(bitmap);
  } else {
    RaiseError("RestoreLayer", 1, "Unknown chunk class (" + record.ClassName + ")!");
  }
  std::vector<uint8_t> bytes;
  bytes.reserve((record.Base ? record.Base->size() : 0) + (record.Content ? record.Content->size() : 0));
  if (record.Base) bytes.insert(bytes.end(), record.Base->begin(), record.Base->end());
  if (record.Content) bytes.insert(bytes.end(), record.Content->begin(), record.Content->end());
  TMemoryStream stream(std::move(bytes));
  layer->LoadFromStream(stream);
  layer->Tag = record.Tag;
  return layer;
}

// ---- TUndoHistory --------------------------------------------------------------

void TUndoHistory::Reset(TEditorState state) {
  steps_.clear();
  steps_.push_back(TStep{std::move(state), {}, {}});
  index_ = 0;
  clean_ = 0;
  mergeOpen_ = false;
}

void TUndoHistory::Commit(TEditorState state, std::string name, std::string mergeKey) {
  if (state.SameWatermark(Current())) {
    // Nothing changed; the selection of the current state follows.
    steps_[index_].State.Selected = state.Selected;
    steps_[index_].State.Counter = state.Counter;
    return;
  }
  const bool merge = mergeOpen_ && !mergeKey.empty() && index_ > 0 && index_ + 1 == steps_.size() &&
                     steps_[index_].MergeKey == mergeKey && clean_ != index_;
  steps_.resize(index_ + 1);
  if (clean_ > index_ && clean_ != size_t(-1)) clean_ = size_t(-1);  // the clean state was a redo step
  if (merge) {
    steps_[index_].State = std::move(state);
  } else {
    steps_.push_back(TStep{std::move(state), std::move(name), mergeKey});
    ++index_;
    if (steps_.size() > Limit + 1) {
      const size_t drop = steps_.size() - (Limit + 1);
      steps_.erase(steps_.begin(), steps_.begin() + std::ptrdiff_t(drop));
      index_ -= drop;
      clean_ = clean_ >= drop && clean_ != size_t(-1) ? clean_ - drop : size_t(-1);
    }
  }
  mergeOpen_ = !mergeKey.empty();
}

const std::string& TUndoHistory::UndoName() const { return CanUndo() ? steps_[index_].Name : kEmpty; }

const std::string& TUndoHistory::RedoName() const { return CanRedo() ? steps_[index_ + 1].Name : kEmpty; }

const TEditorState& TUndoHistory::Undo() {
  mergeOpen_ = false;
  if (CanUndo()) --index_;
  return Current();
}

const TEditorState& TUndoHistory::Redo() {
  mergeOpen_ = false;
  if (CanRedo()) ++index_;
  return Current();
}

}  // namespace tvx
