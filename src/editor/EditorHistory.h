#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imageio/FilePlugin.h"
#include "imageio/WatermarkExif.h"
#include "raster/Layers.h"

namespace tvx {

class TBaseLayer;

/// One layer as the editor's history keeps it: the blocks a watermark file
/// stores for it, and what the file does not store (its identifier and the
/// picture file it was loaded from). Blocks are shared between the states
/// that hold them unchanged, so a history of a hundred moves of a large
/// picture layer holds its pixels once.
struct TLayerRecord {
  std::string ClassName;                                ///< "TTextLayer" or "TBitmapLayer"
  std::shared_ptr<const std::vector<uint8_t>> Base;     ///< the base layer's block
  std::shared_ptr<const std::vector<uint8_t>> Content;  ///< the class's own block
  int32_t Tag = 0;
  std::string FileName;
  /// Same blocks (by content) and the same identifier and file name.
  bool SameAs(const TLayerRecord& other) const;
};

/// The watermark at one point of an editor session.
struct TEditorState {
  std::vector<TLayerRecord> Layers;
  Watermark::TWatermarkExif Exif;
  int32_t Selected = -1;  ///< the selected row then
  int32_t Counter = 0;    ///< the layer counter then
  /// Same layers and EXIF settings (selection and counter aside).
  bool SameWatermark(const TEditorState& other) const;
};

/// The record of a watermark layer. Blocks equal to one of previous's are
/// taken from there instead of being stored again. Raises for a layer class
/// that the watermark file cannot store.
TLayerRecord RecordLayer(const TBaseLayer& layer, const std::vector<TLayerRecord>* previous = nullptr);

/// A layer made from its record for collection (not inserted into it). Its
/// text macros expand from picture (or show as written) while it loads, so a
/// stretched text comes back at the size it had.
std::unique_ptr<TBaseLayer> RestoreLayer(const TLayerRecord& record, TLayerCollection* collection,
                                         const TExifParameters* picture, bool showMacroNames);

/// Undo and redo of an editor session: a list of states, each reached by a
/// named step. Not thread-safe.
class TUndoHistory {
 public:
  /// Steps kept before the oldest are dropped.
  static constexpr size_t kDefaultLimit = 200;

  /// Forgets every step; state is the start, and clean.
  void Reset(TEditorState state);
  /// Records a step named name that led to state, dropping the steps that
  /// could be redone. A state whose watermark equals the current one is no
  /// step. A step with the same non-empty mergeKey as the step on top,
  /// while merging is open, replaces it: typing in one field is one step.
  void Commit(TEditorState state, std::string name, std::string mergeKey = {});
  /// Ends merging: the next commit is a step of its own.
  void CloseMerge() { mergeOpen_ = false; }

  bool CanUndo() const { return index_ > 0; }
  bool CanRedo() const { return index_ + 1 < steps_.size(); }
  /// The names of the steps Undo and Redo would take back or again; empty when none.
  const std::string& UndoName() const;
  const std::string& RedoName() const;
  /// The state before the step on top, which becomes the current state.
  const TEditorState& Undo();
  const TEditorState& Redo();
  const TEditorState& Current() const { return steps_[index_].State; }

  /// Whether the current state is the one marked clean (the start).
  bool IsClean() const { return index_ == clean_; }
  /// Number of states kept (the start included).
  size_t Size() const { return steps_.size(); }
  size_t Limit = kDefaultLimit;

 private:
  struct TStep {
    TEditorState State;
    std::string Name;
    std::string MergeKey;
  };
  std::vector<TStep> steps_{TStep{}};
  size_t index_ = 0;
  // The clean state's index; past the end once dropped from the front.
  size_t clean_ = 0;
  bool mergeOpen_ = false;
};

}  // namespace tvx
