#include "editor/EditorDocument.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "editor/EditorRules.h"
#include "util/Error.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkDocument.h"

namespace tvx {
namespace {

// How far a location may lie from where the coordinates put it and still
// count as there: float rounding, not a move.
constexpr float kPlacementTolerance = 0.01f;

}  // namespace

TEditorDocument::TEditorDocument() {
  handles_ = &canvas_.Add<TRubberbandLayer>();
  handles_->OnUserChange = [this](bool final) {
    TBaseLayer* layer = handles_->GetLayer();
    // While stretched the content keeps its old size: the coordinates are
    // worked out once the stretch is applied.
    if (layer && !handles_->GetTransformMode()) {
      StoreCoords(*layer);
      if (final) Commit("Move Layer");
    }
    if (OnHandlesChanged) OnHandlesChanged(final);
  };
  handles_->OnTransformModeChanged = [this] {
    if (TBaseLayer* layer = handles_->GetLayer(); layer && !handles_->GetTransformMode()) StoreCoords(*layer);
    if (OnTransformModeChanged) OnTransformModeChanged();
  };
}

TEditorDocument::~TEditorDocument() {
  handles_->OnUserChange = nullptr;
  handles_->OnTransformModeChanged = nullptr;
  handles_->AskApplyTransform = nullptr;
  handles_->OnLayerChanged = nullptr;
}

TBitmap32 TEditorDocument::WhiteCanvas(int32_t width, int32_t height) {
  TBitmap32 canvas(std::max(width, 1), std::max(height, 1));
  canvas.Clear(0xFFFFFFFFu);
  return canvas;
}

// ---- sessions --------------------------------------------------------------------

void TEditorDocument::PrepareLayer(TBaseLayer& layer) {
  auto* text = dynamic_cast<TTextLayer*>(&layer);
  if (!text) return;
  text->PictureParameters = pictureParameters_;
  if (text->ShowMacroNames != standIn_) {
    text->ShowMacroNames = standIn_;
    if (text->HasMacros()) text->RefreshContent();
  }
}

void TEditorDocument::Open(const TLayerCollection& layers, const Watermark::TWatermarkExif& exif,
                           TBitmap32 picture, const TExifParameters* pictureParameters, bool standInPicture) {
  Close();
  picture_ = std::move(picture);
  pictureParameters_ = pictureParameters;
  standIn_ = standInPicture;
  handles_->PictureWidth = picture_.Width();
  handles_->PictureHeight = picture_.Height();
  for (int32_t i = 0; i < layers.Count(); ++i) {
    const auto* layer = dynamic_cast<const TBaseLayer*>(&layers.Items(i));
    if (!layer) continue;
    std::unique_ptr<TBaseLayer> copy = layer->Clone(&canvas_);
    copy->OnLocationChanged = nullptr;
    PrepareLayer(*copy);
    TBaseLayer& added = *copy;
    canvas_.Insert(LayerCount(), std::move(copy));
    Relocate(added);
  }
  exif_ = exif;
  selected_ = LayerCount() - 1;
  mode_ = TEditorMode::View;
  AttachHandles();
  if (TBaseLayer* layer = SelectedLayer()) StoreCoords(*layer);
  history_.Reset(Capture());
}

void TEditorDocument::HandBack(TWatermarkDocument& document, bool reset) {
  handles_->SetLayer(nullptr);
  mode_ = TEditorMode::View;
  TLayerCollection out;
  while (LayerCount() > 0) {
    std::unique_ptr<TCustomLayer> item = canvas_.Extract(0);
    auto* layer = static_cast<TBaseLayer*>(item.get());
    layer->OnLocationChanged = nullptr;
    layer->SetStylesEnabled(true);
    if (auto* text = dynamic_cast<TTextLayer*>(layer)) {
      // The main window expands the macros for its picture from here on.
      text->ShowMacroNames = false;
      text->PictureParameters = pictureParameters_;
    }
    out.Insert(out.Count(), std::move(item));
  }
  if (reset) document.Reset();
  document.ReplaceContent(out, exif_);
  Close();
}

void TEditorDocument::ClearLayers() {
  while (LayerCount() > 0) canvas_.Delete(0);
}

void TEditorDocument::Close() {
  // Nothing of a session survives it, a pending stretch included.
  if (handles_->GetTransformMode()) handles_->RollbackTransform();
  handles_->SetLayer(nullptr);
  ClearLayers();
  picture_ = TBitmap32();
  exif_ = Watermark::TWatermarkExif();
  selected_ = -1;
  mode_ = TEditorMode::View;
  history_.Reset(TEditorState{});
}

// ---- layers and selection ------------------------------------------------------------

void TEditorDocument::CheckIndex(int32_t index, const char* qualifier) const {
  if (index < 0 || index >= LayerCount())
    RaiseError(qualifier, 1, "List index out of bounds (" + std::to_string(index) + ")!");
}

TBaseLayer& TEditorDocument::Layer(int32_t index) const {
  CheckIndex(index, "TEditorDocument::Layer");
  return static_cast<TBaseLayer&>(canvas_.Items(index));
}

int32_t TEditorDocument::IndexOf(const TBaseLayer* layer) const {
  const int32_t index = canvas_.IndexOf(layer);
  return index >= 0 && index < LayerCount() ? index : -1;
}

std::vector<std::string> TEditorDocument::LayerNames() const {
  std::vector<std::string> names;
  for (int32_t i = 0; i < LayerCount(); ++i) names.push_back(Layer(i).Name);
  return names;
}

TBaseLayer* TEditorDocument::SelectedLayer() const {
  return selected_ >= 0 && selected_ < LayerCount() ? &Layer(selected_) : nullptr;
}

void TEditorDocument::KeepHandlesOnTop() { handles_->BringToFront(); }

void TEditorDocument::AttachHandles() {
  TBaseLayer* layer = SelectedLayer();
  switch (mode_) {
    case TEditorMode::View:
      handles_->SetLayer(nullptr);
      break;
    case TEditorMode::Move:
      handles_->SetLayer(layer);
      handles_->SetTransformMode(false);
      break;
    case TEditorMode::Resize:
      handles_->SetLayer(layer);
      handles_->SetTransformMode(true);
      break;
  }
  KeepHandlesOnTop();
}

void TEditorDocument::Select(int32_t index) {
  selected_ = index >= 0 && index < LayerCount() ? index : -1;
  const bool pending = handles_->IsChanged();
  AttachHandles();
  // The frame asked whether to apply the stretch left pending.
  if (pending) Commit("Resize Layer");
  if (TBaseLayer* layer = SelectedLayer()) StoreCoords(*layer);
}

int32_t TEditorDocument::LayerAt(double x, double y) const {
  for (int32_t i = LayerCount() - 1; i >= 0; --i) {
    const TBaseLayer& layer = Layer(i);
    if (!layer.Visible() || layer.RenderedBitmap().Empty()) continue;
    const TFloatRect& r = layer.Location();
    if (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) return i;
  }
  return -1;
}

// ---- modes -----------------------------------------------------------------------------

void TEditorDocument::SetMode(TEditorMode mode) {
  TBaseLayer* layer = SelectedLayer();
  if (mode != TEditorMode::View && layer && !layer->Visible()) {
    layer->SetVisible(true);
    Commit("Show Layer");
  }
  mode_ = mode;
  const bool pending = handles_->IsChanged();
  AttachHandles();
  if (pending) Commit("Resize Layer");
}

void TEditorDocument::ApplyTransform() {
  TBaseLayer* layer = handles_->GetLayer();
  handles_->ApplyTransform();
  // A layer sized by the picture or turned keeps its coordinates: placed
  // again at its new size.
  if (layer && layer->Fits()) Relocate(*layer);
  Commit("Resize Layer");
  SetMode(TEditorMode::View);
}

void TEditorDocument::RollbackTransform() {
  handles_->RollbackTransform();
  SetMode(TEditorMode::View);
}

// ---- layer commands --------------------------------------------------------------------

TBaseLayer& TEditorDocument::BeginNewLayer(bool text) {
  const std::string name = NewLayerName(LayerNames());
  TBaseLayer& layer = text ? static_cast<TBaseLayer&>(canvas_.Add<TTextLayer>())
                           : static_cast<TBaseLayer&>(canvas_.Add<TBitmapLayer>());
  KeepHandlesOnTop();
  layer.Tag = ++counter_;
  layer.Name = name;
  PrepareLayer(layer);
  // The top-left corner of the part of the picture on view.
  const TRect view = canvas_.GetBitmapRect();
  const double scale = canvas_.CoordXForm().ScaleX / 65536.0;
  const double left = view.Left < 0 && scale > 0 ? -view.Left / scale : 0;
  const double top = view.Top < 0 && scale > 0 ? -view.Top / scale : 0;
  layer.SetLocation(TFloatRect{float(left), float(top), float(left), float(top)});
  float x, y;
  layer.LocationToCoords(picture_.Width(), picture_.Height(), x, y);
  layer.XCoord = x;
  layer.YCoord = y;
  return layer;
}

void TEditorDocument::EndNewLayer(TBaseLayer& layer, bool keep) {
  const int32_t index = IndexOf(&layer);
  if (index < 0) return;
  const bool text = dynamic_cast<TTextLayer*>(&layer) != nullptr;
  if (!keep) {
    if (handles_->GetLayer() == &layer) handles_->SetLayer(nullptr);
    canvas_.Delete(index);
    --counter_;
    return;
  }
  selected_ = index;
  AttachHandles();
  Commit(text ? "Add Text Layer" : "Add Picture Layer");
}

int32_t TEditorDocument::DuplicateLayer(int32_t index) {
  const TBaseLayer& source = Layer(index);
  std::unique_ptr<TBaseLayer> copy = source.Clone(&canvas_);
  copy->OnLocationChanged = nullptr;
  copy->Name = DuplicateLayerName(source.Name, LayerNames());
  copy->Tag = ++counter_;
  copy->SetVisible(true);
  canvas_.Insert(index + 1, std::move(copy));
  selected_ = index + 1;
  AttachHandles();
  Commit("Duplicate Layer");
  return selected_;
}

void TEditorDocument::DeleteLayer(int32_t index) {
  CheckIndex(index, "TEditorDocument::DeleteLayer");
  handles_->SetLayer(nullptr);
  mode_ = TEditorMode::View;
  canvas_.Delete(index);
  selected_ = LayerCount() == 0 ? -1 : std::min(index, LayerCount() - 1);
  AttachHandles();
  Commit("Delete Layer");
}

void TEditorDocument::MoveLayer(int32_t index, int32_t delta) {
  CheckIndex(index, "TEditorDocument::MoveLayer");
  const int32_t target = std::clamp(index + delta, 0, LayerCount() - 1);
  if (target == index) return;
  canvas_.Move(index, target);
  if (selected_ == index) selected_ = target;
  KeepHandlesOnTop();
  Commit(delta < 0 ? "Move Layer Up" : "Move Layer Down");
}

void TEditorDocument::SetLayerVisible(int32_t index, bool visible) {
  TBaseLayer& layer = Layer(index);
  if (layer.Visible() == visible) return;
  layer.SetVisible(visible);
  if (index == selected_ && !visible && mode_ != TEditorMode::View) SetMode(TEditorMode::View);
  Commit(visible ? "Show Layer" : "Hide Layer");
}

void TEditorDocument::LayerConfigured(TBaseLayer& layer) {
  if (IndexOf(&layer) < 0) return;
  Relocate(layer);
  Commit("Layer Configuration");
}

// ---- the placement panel -------------------------------------------------------------------

TPanelState TEditorDocument::PanelState() const {
  const TBaseLayer* layer = SelectedLayer();
  if (!layer) return TPanelState::NoSelection;
  if (layer->RenderedBitmap().Empty()) return TPanelState::EmptyLayer;
  return TPanelState::Layer;
}

std::string TEditorDocument::StepKey(const char* field) const {
  return std::to_string(reinterpret_cast<uintptr_t>(SelectedLayer())) + "/" + field;
}

void TEditorDocument::SetCoord(bool vertical, double value) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer) return;
  const float v = std::isfinite(value) ? float(std::clamp(value, -1e9, 1e9)) : 0.0f;
  (vertical ? layer->YCoord : layer->XCoord) = v;
  Relocate(*layer);
  Commit(vertical ? "Change Y" : "Change X", StepKey(vertical ? "y" : "x"));
}

void TEditorDocument::SetUnit(bool vertical, uint8_t unit) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer) return;
  (vertical ? layer->YUnit : layer->XUnit) = unit <= cuShorterPercent ? unit : uint8_t(cuPixels);
  Relocate(*layer);
  Commit("Change Unit");
}

void TEditorDocument::SetAlign(bool vertical, uint8_t align) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer) return;
  if (vertical) {
    layer->VAlign = align;
    layer->YCoord = 0;
  } else {
    layer->HAlign = align;
    layer->XCoord = 0;
  }
  Relocate(*layer);
  Commit("Change Alignment");
}

void TEditorDocument::SetOpacity(int32_t percent) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer) return;
  layer->SetMasterAlpha(OpacityToAlpha(percent));
  layer->Changed();
  Commit("Opacity", StepKey("opacity"));
}

int32_t TEditorDocument::Opacity() const {
  const TBaseLayer* layer = SelectedLayer();
  return layer ? AlphaToOpacity(layer->GetMasterAlpha()) : 100;
}

void TEditorDocument::SetStyles(const TFiltersParams& styles, const std::string& stepName) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer) return;
  layer->SetStyles(styles);
  Relocate(*layer);
  Commit(stepName);
}

void TEditorDocument::SetSizeMode(uint8_t mode) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer) return;
  layer->SizeMode = mode <= lsShorterHeight ? mode : uint8_t(lsFixed);
  Relocate(*layer);
  Commit("Size");
}

void TEditorDocument::SetSizePercent(double percent) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer) return;
  layer->SizePercent = std::isfinite(percent)
                           ? float(std::clamp(percent, kMinPanelSizePercent, kMaxPanelSizePercent))
                           : TBaseLayer::kDefaultSizePercent;
  Relocate(*layer);
  Commit("Size", StepKey("size-percent"));
}

void TEditorDocument::SetOrientation(uint8_t orientation) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer) return;
  layer->Orientation = orientation <= loPortrait ? orientation : uint8_t(loBoth);
  Relocate(*layer);
  layer->Changed();
  Commit("Orientation");
}

void TEditorDocument::SetAngle(double degrees) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer) return;
  layer->Angle = float(NormalizeAngle(degrees));
  Relocate(*layer);
  Commit("Rotate", StepKey("angle"));
}

void TEditorDocument::SetTile(bool tile) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer) return;
  layer->Tile = tile;
  layer->Changed();
  Commit("Tile");
}

void TEditorDocument::SetTileOffset(bool vertical, int32_t offset) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer) return;
  (vertical ? layer->YTileOffs : layer->XTileOffs) = std::clamp(offset, 0, 1000);
  layer->Changed();
  Commit("Tile Gap", StepKey(vertical ? "gap-y" : "gap-x"));
}

void TEditorDocument::SetNoisy(bool noisy) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer) return;
  layer->Noisy = noisy;
  layer->Render();
  Commit("Noise");
}

void TEditorDocument::SetNoiseIntensity(int32_t intensity) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer) return;
  layer->NoiseIntensity = uint32_t(std::clamp(intensity, 0, 255));
  layer->Render();
  Commit("Noise Intensity", StepKey("noise"));
}

void TEditorDocument::Nudge(int32_t dx, int32_t dy) {
  TBaseLayer* layer = SelectedLayer();
  if (!layer || (dx == 0 && dy == 0)) return;
  TFloatRect r = layer->Location();
  r.Left += float(dx);
  r.Right += float(dx);
  r.Top += float(dy);
  r.Bottom += float(dy);
  layer->SetLocation(r);
  StoreCoords(*layer);
  Commit("Move Layer", StepKey("nudge"));
}

void TEditorDocument::SetExif(const Watermark::TWatermarkExif& exif) {
  exif_ = exif;
  Commit("JPEG Properties");
}

// ---- placing layers --------------------------------------------------------------------------

void TEditorDocument::Relocate(TBaseLayer& layer) {
  layer.SetLocation(layer.GetLayerRect(picture_.Width(), picture_.Height()));
}

void TEditorDocument::StoreCoords(TBaseLayer& layer) {
  const TFloatRect want = layer.GetLayerRect(picture_.Width(), picture_.Height());
  const TFloatRect& at = layer.Location();
  const bool xThere = std::abs(want.Left - at.Left) < kPlacementTolerance;
  const bool yThere = std::abs(want.Top - at.Top) < kPlacementTolerance;
  if (xThere && yThere) return;
  float x, y;
  layer.LocationToCoords(picture_.Width(), picture_.Height(), x, y);
  if (!xThere) layer.XCoord = x;
  if (!yThere) layer.YCoord = y;
}

// ---- history -------------------------------------------------------------------------------------

TEditorState TEditorDocument::Capture() const {
  TEditorState state;
  const std::vector<TLayerRecord>& previous = history_.Current().Layers;
  for (int32_t i = 0; i < LayerCount(); ++i) state.Layers.push_back(RecordLayer(Layer(i), &previous));
  state.Exif = exif_;
  state.Selected = selected_;
  state.Counter = counter_;
  return state;
}

void TEditorDocument::Commit(const std::string& name, const std::string& mergeKey) {
  history_.Commit(Capture(), name, mergeKey);
}

bool TEditorDocument::CanUndo() const {
  return history_.CanUndo() && mode_ != TEditorMode::Resize && !handles_->Dragging();
}

bool TEditorDocument::CanRedo() const {
  return history_.CanRedo() && mode_ != TEditorMode::Resize && !handles_->Dragging();
}

void TEditorDocument::Undo() {
  if (!CanUndo()) return;
  TEditorState live = Capture();
  RestoreState(history_.Undo(), live);
}

void TEditorDocument::Redo() {
  if (!CanRedo()) return;
  TEditorState live = Capture();
  RestoreState(history_.Redo(), live);
}

void TEditorDocument::RestoreState(const TEditorState& state, const TEditorState& live) {
  handles_->SetLayer(nullptr);
  // The layers as they are, to keep those the step did not touch.
  std::vector<std::unique_ptr<TCustomLayer>> pool;
  while (LayerCount() > 0) pool.push_back(canvas_.Extract(0));
  std::vector<bool> used(pool.size(), false);
  for (size_t i = 0; i < state.Layers.size(); ++i) {
    const TLayerRecord& record = state.Layers[i];
    std::unique_ptr<TCustomLayer> layer;
    for (size_t j = 0; j < pool.size() && j < live.Layers.size(); ++j)
      if (!used[j] && live.Layers[j].SameAs(record)) {
        used[j] = true;
        layer = std::move(pool[j]);
        break;
      }
    if (!layer) layer = RestoreLayer(record, &canvas_, pictureParameters_, standIn_);
    auto& placed = static_cast<TBaseLayer&>(canvas_.Insert(int32_t(i), std::move(layer)));
    Relocate(placed);
  }
  exif_ = state.Exif;
  counter_ = state.Counter;
  selected_ = state.Selected >= 0 && state.Selected < LayerCount() ? state.Selected : LayerCount() - 1;
  if (mode_ == TEditorMode::Resize) mode_ = TEditorMode::View;
  AttachHandles();
}

TEditorCommandStates TEditorDocument::CommandStates() const {
  TEditorCommandStates s;
  const bool resizing = mode_ == TEditorMode::Resize;
  s.WatermarkCommands = !resizing;
  s.LayerCommands = selected_ >= 0 && !resizing;
  s.MoveUp = s.LayerCommands && selected_ > 0;
  s.MoveDown = s.LayerCommands && selected_ < LayerCount() - 1;
  s.TransformCommands = handles_->GetTransformMode();
  s.Tools = PanelState() == TPanelState::Layer;
  s.Undo = CanUndo();
  s.Redo = CanRedo();
  return s;
}

}  // namespace tvx
