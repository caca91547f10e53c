#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/EditorHistory.h"
#include "imageio/FilePlugin.h"
#include "imageio/WatermarkExif.h"
#include "raster/Bitmap32.h"
#include "raster/Layers.h"
#include "styles/FilterParams.h"
#include "watermark/BaseLayer.h"
#include "watermark/RubberbandLayer.h"

namespace tvx {

class TWatermarkDocument;

/// The canvas's interaction modes.
enum class TEditorMode { View, Move, Resize };

/// What the placement panel shows.
enum class TPanelState {
  NoSelection,  ///< "No layer selected": disabled
  EmptyLayer,   ///< "Layer is empty": disabled
  Layer,        ///< the selected layer's settings
};

/// Which of the editor's commands can run now.
struct TEditorCommandStates {
  bool LayerCommands = false;      ///< a row is selected (Duplicate, Delete, Configuration, Style...)
  bool MoveUp = false;             ///< the selected row is not the first (its layer not the bottom-most)
  bool MoveDown = false;           ///< the selected row is not the last
  bool WatermarkCommands = true;   ///< not resizing: Apply, Cancel, the menus, the list, the add buttons
  bool TransformCommands = false;  ///< the handles are in transform mode: Apply/Rollback Transform
  bool Tools = false;              ///< Move and Resize: a selected layer with content
  bool Undo = false;
  bool Redo = false;
  friend bool operator==(const TEditorCommandStates&, const TEditorCommandStates&) = default;
};

/// The watermark editor without its window: the canvas (picture, layer
/// collection, selection frame), the selected layer, the modes, every layer
/// command and panel edit, and the history of the session.
///
/// A session works on exact copies of the watermark's layers and EXIF
/// settings (Open); only HandBack gives them to the watermark document, so
/// ending a session any other way leaves the document untouched. Every
/// command that changes the watermark is one step of the history (Undo,
/// Redo); edits of one field of one layer in a row merge into one step.
/// The frame is always the collection's last layer; every other entry is a
/// watermark layer. Not thread-safe: the user-interface thread owns it.
class TEditorDocument {
 public:
  TEditorDocument();
  ~TEditorDocument();
  TEditorDocument(const TEditorDocument&) = delete;
  TEditorDocument& operator=(const TEditorDocument&) = delete;

  // ---- sessions ------------------------------------------------------------

  /// A white canvas of the size, as the editor shows when there is no picture.
  static TBitmap32 WhiteCanvas(int32_t width, int32_t height);

  /// Starts a session over picture with copies of layers (watermark layers
  /// only, in order; nothing is rendered, so the copies are exact) and of
  /// exif. Text macros expand from pictureParameters, or show as written
  /// when the picture is a stand-in (no picture of the user's). Every layer
  /// is placed for the picture; the last one is selected; View mode; clean.
  void Open(const TLayerCollection& layers, const Watermark::TWatermarkExif& exif, TBitmap32 picture,
            const TExifParameters* pictureParameters, bool standInPicture);
  /// Apply: moves the layers (in order) and the EXIF settings into document,
  /// after resetting it when reset is set (a new watermark), and ends the
  /// session. The caller announces the change (document.Changed()).
  void HandBack(TWatermarkDocument& document, bool reset);
  /// Ends the session without handing anything over: the canvas keeps only
  /// the frame, and the picture is released.
  void Close();

  TLayerCollection& Canvas() { return canvas_; }
  const TBitmap32& Picture() const { return picture_; }
  TRubberbandLayer& Handles() { return *handles_; }

  // ---- layers and selection --------------------------------------------------

  int32_t LayerCount() const { return canvas_.Count() - 1; }
  TBaseLayer& Layer(int32_t index) const;
  /// -1 for a layer that is not one of the watermark's.
  int32_t IndexOf(const TBaseLayer* layer) const;
  std::vector<std::string> LayerNames() const;
  int32_t Selected() const { return selected_; }
  TBaseLayer* SelectedLayer() const;
  /// Selects a row (-1: none). The frame follows in Move and Resize modes
  /// (a pending transform is asked about first), and the coordinates of the
  /// selected layer are brought up to date with where it lies.
  void Select(int32_t index);
  /// The topmost visible watermark layer whose rendered rectangle holds the
  /// picture point; -1 for none.
  int32_t LayerAt(double x, double y) const;

  // ---- modes -------------------------------------------------------------------

  TEditorMode Mode() const { return mode_; }
  /// View detaches the frame; Move and Resize attach it to the selected
  /// layer (showing it when hidden), Resize in transform mode. Without a
  /// visible selected layer the frame stays detached.
  void SetMode(TEditorMode mode);
  /// Commits the pending stretch (the layer takes the frame's size) and returns to View mode.
  void ApplyTransform();
  /// Undoes the pending stretch and returns to View mode.
  void RollbackTransform();

  // ---- layer commands -----------------------------------------------------------

  /// Creates a picture or text layer named by NewLayerName, with the next
  /// identifier, at the top-left of the part of the picture on view. The
  /// caller configures it and ends with EndNewLayer.
  TBaseLayer& BeginNewLayer(bool text);
  /// Keeps the layer (selected, one step) or destroys it and gives its
  /// identifier back.
  void EndNewLayer(TBaseLayer& layer, bool keep);
  /// An exact copy of the layer at index, named by DuplicateLayerName, right
  /// above it, visible and selected. Returns its index.
  int32_t DuplicateLayer(int32_t index);
  void DeleteLayer(int32_t index);
  /// Moves the layer at index by delta places in the collection (and in the
  /// list, whose rows follow the collection: -1 is a row up, a place further
  /// down the stack).
  void MoveLayer(int32_t index, int32_t delta);
  void SetLayerVisible(int32_t index, bool visible);
  /// After the layer's settings dialog: placed again, one step when it changed.
  void LayerConfigured(TBaseLayer& layer);

  // ---- the placement panel (the selected layer) --------------------------------------

  TPanelState PanelState() const;
  /// axis: false horizontal, true vertical.
  void SetCoord(bool vertical, double value);
  /// The number stays; the layer moves to where it now says. Units other
  /// than cuPixels..cuShorterPercent count as cuPixels.
  void SetUnit(bool vertical, uint8_t unit);
  /// The coordinate becomes 0 on that axis.
  void SetAlign(bool vertical, uint8_t align);
  /// 0..100 (clamped).
  void SetOpacity(int32_t percent);
  int32_t Opacity() const;
  void SetStyles(const TFiltersParams& styles, const std::string& stepName = "Layer Style");
  void SetTile(bool tile);
  /// 0..1000 (clamped).
  void SetTileOffset(bool vertical, int32_t offset);
  void SetNoisy(bool noisy);
  /// 0..255 (clamped).
  void SetNoiseIntensity(int32_t intensity);
  /// lsFixed..lsShorterHeight (others count as lsFixed); the layer is placed again.
  void SetSizeMode(uint8_t mode);
  /// kMinPanelSizePercent..kMaxPanelSizePercent (clamped; not a number: the default).
  void SetSizePercent(double percent);
  /// loBoth..loPortrait (others count as loBoth).
  void SetOrientation(uint8_t orientation);
  /// Degrees, clockwise; brought into -180..180 (a whole turn is no turn).
  void SetAngle(double degrees);
  /// Moves the selected layer by whole picture pixels (Move mode's arrow keys).
  void Nudge(int32_t dx, int32_t dy);
  void SetExif(const Watermark::TWatermarkExif& exif);
  const Watermark::TWatermarkExif& Exif() const { return exif_; }

  // ---- placing layers ----------------------------------------------------------------

  /// The layer's location for the canvas picture from its coordinates.
  void Relocate(TBaseLayer& layer);
  /// The coordinates from the layer's location, unless they already put it
  /// there (so merely selecting a layer never changes what it stores).
  void StoreCoords(TBaseLayer& layer);

  // ---- history -----------------------------------------------------------------------

  /// Records the watermark as it is now as a step (see TUndoHistory::Commit).
  void Commit(const std::string& name, const std::string& mergeKey = {});
  /// Ends merging of field edits (a field lost the focus).
  void CloseMerge() { history_.CloseMerge(); }
  bool CanUndo() const;
  bool CanRedo() const;
  const std::string& UndoName() const { return history_.UndoName(); }
  const std::string& RedoName() const { return history_.RedoName(); }
  void Undo();
  void Redo();
  /// The watermark differs from the one the session began with.
  bool Modified() const { return !history_.IsClean(); }
  TUndoHistory& History() { return history_; }

  TEditorCommandStates CommandStates() const;

  /// The user moved or stretched the layer with the handles (final: the
  /// drag ended). Called after the coordinates were brought up to date.
  std::function<void(bool final)> OnHandlesChanged;
  /// After every change of the handles' transform mode.
  std::function<void()> OnTransformModeChanged;

 private:
  TEditorState Capture() const;
  /// Puts the canvas in state; live holds the records of the layers as they
  /// are, so that the ones the state holds unchanged are kept as they are.
  void RestoreState(const TEditorState& state, const TEditorState& live);
  void AttachHandles();
  void KeepHandlesOnTop();
  std::string StepKey(const char* field) const;
  void PrepareLayer(TBaseLayer& layer);
  void ClearLayers();
  void CheckIndex(int32_t index, const char* qualifier) const;

  TLayerCollection canvas_;
  TRubberbandLayer* handles_ = nullptr;  // owned by canvas_
  TBitmap32 picture_;
  const TExifParameters* pictureParameters_ = nullptr;
  bool standIn_ = false;
  Watermark::TWatermarkExif exif_;
  int32_t selected_ = -1;
  int32_t counter_ = 0;
  TEditorMode mode_ = TEditorMode::View;
  TUndoHistory history_;
};

}  // namespace tvx
