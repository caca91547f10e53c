#include "editor/EditorDocument.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkDocument.h"
#include "watermark/WatermarkFile.h"
#include "watermark/WatermarkTestUtil.h"

namespace tvx {
namespace {

constexpr int32_t kWidth = 800, kHeight = 600;

std::string Bytes(const TWatermarkDocument& doc) {
  const auto snapshot = doc.Snapshot();
  return std::string(snapshot.Bytes.begin(), snapshot.Bytes.end());
}

// The watermark file the editor's layers and EXIF settings would make.
std::string Saved(TEditorDocument& editor) {
  TMemoryStream s;
  SaveWatermark(s, editor.Canvas(), editor.Exif());
  return test::Bytes(s);
}

TFiltersParams Shadow() {
  RegisterFilterKinds();
  TFiltersParams styles;
  styles.Items["Drop Shadow"] = TShadowRecord::Defaults().ToParams();
  return styles;
}

// A watermark as a user leaves it: a picture placed from the right in
// percent, a styled text centred, EXIF settings.
void Fill(TWatermarkDocument& doc) {
  TBitmapLayer* logo = test::AddPictureLayer(doc.Layers(), 60, 30, 0xC0FF8000);
  logo->Name = "Logo";
  logo->HAlign = haRight;
  logo->XUnit = cuPercent;
  logo->XCoord = 3.3f;
  logo->VAlign = vaBottom;
  logo->YCoord = 17;
  logo->SetMasterAlpha(191);
  auto& text = doc.Layers().Add<TTextLayer>();
  text.Name = "(c) Studio";
  text.Text = "(c) Studio";
  text.Font.Size = 20;
  text.HAlign = haCenter;
  text.VAlign = vaMiddle;
  text.YUnit = cuPercent;
  text.YCoord = 12.5f;
  text.RenderText();
  text.ResizeTo(text.NaturalWidth * 3 / 2, text.NaturalHeight);
  text.SetStyles(Shadow());
  doc.Exif().WriteArtist = true;
  doc.Exif().Artist = "Me";
}

// The canvas as the image view places it: scrolled so that the picture's
// top-left lies at (-150, -80) at 50 %.
struct TViewStub : TLayerViewOwner {
  TRect GetBitmapRect() const override { return TRect{-150, -80, 250, 220}; }
};

class EditorDocumentTest : public testing::Test {
 protected:
  void SetUp() override {
    Fill(doc);
    Open();
  }
  void Open(bool reset = false) {
    TLayerCollection none;
    editor.Open(reset ? none : doc.Layers(), reset ? Watermark::TWatermarkExif() : doc.Exif(),
                TEditorDocument::WhiteCanvas(kWidth, kHeight), &picture, false);
  }
  TBaseLayer& Logo() { return editor.Layer(0); }
  TTextLayer& Text() { return static_cast<TTextLayer&>(editor.Layer(1)); }
  // What a new layer's dialog would do for a text: render and keep.
  TTextLayer& AddText(const std::string& text) {
    auto& layer = static_cast<TTextLayer&>(editor.BeginNewLayer(true));
    layer.Text = text;
    layer.RenderText();
    editor.EndNewLayer(layer, true);
    return layer;
  }

  TExifParameters picture{1, 1, kWidth, kHeight, "/pics/a.jpg", {}};
  TWatermarkDocument doc;
  TEditorDocument editor;
};

TEST_F(EditorDocumentTest, OpensOnExactCopiesPlacedForTheCanvas) {
  ASSERT_EQ(editor.LayerCount(), 2);
  EXPECT_NE(&Logo(), &doc.Layers().Items(0));
  EXPECT_TRUE(Saved(editor) == Bytes(doc));
  EXPECT_EQ(editor.Selected(), 1);
  EXPECT_EQ(editor.Mode(), TEditorMode::View);
  EXPECT_FALSE(editor.Modified());
  EXPECT_EQ(Logo().Location(), Logo().GetLayerRect(kWidth, kHeight));
  // the frame is the last entry and detached in View mode
  EXPECT_EQ(editor.Canvas().Count(), 3);
  EXPECT_EQ(&editor.Canvas().Items(2), &editor.Handles());
  EXPECT_EQ(editor.Handles().GetLayer(), nullptr);
}

TEST_F(EditorDocumentTest, NothingButHandBackTouchesTheWatermark) {
  const std::string before = Bytes(doc);
  editor.Select(0);
  editor.SetOpacity(10);
  editor.SetCoord(false, 44);
  editor.DuplicateLayer(1);
  editor.DeleteLayer(0);
  editor.SetExif(Watermark::TWatermarkExif());
  EXPECT_TRUE(editor.Modified());
  editor.Close();
  EXPECT_TRUE(Bytes(doc) == before);
  EXPECT_EQ(editor.LayerCount(), 0);
  EXPECT_EQ(editor.Canvas().Count(), 1);  // only the frame
  EXPECT_TRUE(editor.Picture().Empty());
}

TEST_F(EditorDocumentTest, HandBackGivesTheDocumentWhatTheEditorHolds) {
  editor.Select(0);
  editor.SetOpacity(50);
  Watermark::TWatermarkExif exif = editor.Exif();
  exif.WriteTitle = true;
  exif.Title = "Holiday";
  editor.SetExif(exif);
  const std::string edited = Saved(editor);
  const TBaseLayer* logo = &Logo();
  editor.HandBack(doc, false);
  EXPECT_TRUE(Bytes(doc) == edited);
  EXPECT_EQ(&doc.Layers().Items(0), logo);  // moved, not copied again
  EXPECT_FALSE(static_cast<const TBaseLayer*>(logo)->OnLocationChanged);
  EXPECT_EQ(editor.LayerCount(), 0);
}

TEST_F(EditorDocumentTest, ANewWatermarkStartsEmptyAndReplacesTheOldOneOnlyOnHandBack) {
  const std::string before = Bytes(doc);
  Open(true);
  EXPECT_EQ(editor.LayerCount(), 0);
  EXPECT_EQ(editor.Selected(), -1);
  editor.Close();
  EXPECT_TRUE(Bytes(doc) == before);

  Open(true);
  AddText("Fresh");
  editor.HandBack(doc, true);
  ASSERT_EQ(doc.Layers().Count(), 1);
  EXPECT_EQ(static_cast<TBaseLayer&>(doc.Layers().Items(0)).Name, "New Layer");
  EXPECT_FALSE(doc.Exif().WriteArtist);
  EXPECT_TRUE(doc.FileName().empty());
}

TEST_F(EditorDocumentTest, NewLayersAreNamedInTurnAndACancelledOneGivesItsNumberBack) {
  Open(true);
  EXPECT_EQ(AddText("a").Name, "New Layer");
  EXPECT_EQ(AddText("b").Tag, 2);
  TBaseLayer& dropped = editor.BeginNewLayer(true);
  EXPECT_EQ(dropped.Name, "New Layer 2");
  EXPECT_EQ(dropped.Tag, 3);
  editor.EndNewLayer(dropped, false);
  EXPECT_EQ(editor.LayerCount(), 2);
  TTextLayer& third = AddText("c");
  EXPECT_EQ(third.Name, "New Layer 2");
  EXPECT_EQ(third.Tag, 3);
  EXPECT_EQ(editor.Selected(), 2);
  EXPECT_EQ(editor.LayerNames(), (std::vector<std::string>{"New Layer", "New Layer 1", "New Layer 2"}));
  // the frame stays on top of the new layers
  EXPECT_EQ(&editor.Canvas().Items(editor.Canvas().Count() - 1), &editor.Handles());
}

TEST_F(EditorDocumentTest, ANewLayerStartsAtTheCornerOfThePartOnView) {
  TViewStub view;
  editor.Canvas().SetOwnerView(&view);
  editor.Canvas().SetCoordXForm(TCoordXForm{32768, 32768, -150, -80});
  TBaseLayer& layer = editor.BeginNewLayer(false);
  EXPECT_FLOAT_EQ(layer.Location().Left, 300);
  EXPECT_FLOAT_EQ(layer.Location().Top, 160);
  EXPECT_FLOAT_EQ(layer.XCoord, 300);
  EXPECT_FLOAT_EQ(layer.YCoord, 160);
  editor.EndNewLayer(layer, false);
  editor.Canvas().SetOwnerView(nullptr);
}

TEST_F(EditorDocumentTest, DuplicatesAreExactCopiesRightAboveTheirSource) {
  TTextLayer& source = Text();
  Logo().Noisy = true;
  Logo().NoiseIntensity = 70;
  Logo().XTileOffs = 12;
  Logo().SetStyles(Shadow());
  Logo().SetVisible(false);
  editor.Commit("setup");
  EXPECT_EQ(editor.DuplicateLayer(0), 1);
  EXPECT_EQ(editor.DuplicateLayer(0), 1);
  EXPECT_EQ(editor.LayerNames(),
            (std::vector<std::string>{"Logo", "Logo copy 1", "Logo copy", "(c) Studio"}));
  TBaseLayer& copy = editor.Layer(2);
  EXPECT_TRUE(copy.Visible());
  EXPECT_EQ(copy.Styles(), Logo().Styles());
  EXPECT_TRUE(copy.Noisy);
  EXPECT_EQ(copy.NoiseIntensity, 70u);
  EXPECT_EQ(copy.XTileOffs, 12);
  EXPECT_EQ(copy.GetMasterAlpha(), 191);
  EXPECT_EQ(test::Pixels(copy.SourceBitmap()), test::Pixels(Logo().SourceBitmap()));

  // a stretched text keeps its stretch, font size and justification
  const int32_t index = editor.DuplicateLayer(3);
  auto& text = static_cast<TTextLayer&>(editor.Layer(index));
  EXPECT_EQ(text.Name, "(c) Studio copy");
  EXPECT_EQ(text.Font, source.Font);
  EXPECT_EQ(text.SourceBitmap().Width(), source.SourceBitmap().Width());
  EXPECT_EQ(text.HorizontalStretch(), source.HorizontalStretch());
  EXPECT_EQ(editor.Selected(), index);
}

TEST_F(EditorDocumentTest, OpacityIsStoredAsTypedAndShownAsStored) {
  editor.Select(0);
  struct TCase {
    int32_t Typed, Alpha, Shown;
  };
  for (const TCase c :
       {TCase{0, 0, 0}, TCase{100, 255, 100}, TCase{150, 255, 100}, TCase{33, 84, 33}, TCase{75, 191, 75}}) {
    editor.SetOpacity(c.Typed);
    EXPECT_EQ(Logo().GetMasterAlpha(), c.Alpha) << c.Typed;
    EXPECT_EQ(Logo().RenderedBitmap().MasterAlpha, c.Alpha) << c.Typed;
    EXPECT_EQ(editor.Opacity(), c.Shown) << c.Typed;
  }
}

TEST_F(EditorDocumentTest, PlacementEditsMoveTheLayerOnTheCanvas) {
  editor.Select(0);
  editor.SetUnit(false, cuPixels);
  editor.SetAlign(false, haLeft);
  editor.SetCoord(false, 35);
  EXPECT_FLOAT_EQ(Logo().Location().Left, 35);
  // a new alignment starts from the edge it names
  editor.SetAlign(false, haRight);
  EXPECT_FLOAT_EQ(Logo().XCoord, 0);
  EXPECT_FLOAT_EQ(Logo().Location().Right, kWidth);
  // a unit change keeps the number and moves the layer to where it now says
  editor.SetCoord(false, 10);
  editor.SetUnit(false, cuPercent);
  EXPECT_FLOAT_EQ(Logo().XCoord, 10);
  EXPECT_FLOAT_EQ(Logo().Location().Right, kWidth * 0.9f);
  // percent of the shorter side: 10 % of the height here
  editor.SetUnit(false, cuShorterPercent);
  EXPECT_FLOAT_EQ(Logo().XCoord, 10);
  EXPECT_FLOAT_EQ(Logo().Location().Right, kWidth - kHeight * 0.1f);
  EXPECT_EQ(editor.UndoName(), "Change Unit");
  // a unit no list offers counts as pixels
  editor.SetUnit(false, 9);
  EXPECT_EQ(Logo().XUnit, cuPixels);
  EXPECT_FLOAT_EQ(Logo().Location().Right, kWidth - 10);
  editor.Undo();
  EXPECT_EQ(Logo().XUnit, cuShorterPercent);
}

TEST_F(EditorDocumentTest, SelectingAndChangingModesStoresNothingNew) {
  const std::string before = Saved(editor);
  for (int32_t i : {0, 1, -1, 0}) {
    editor.Select(i);
    editor.SetMode(TEditorMode::Move);
    editor.SetMode(TEditorMode::Resize);
    editor.SetMode(TEditorMode::View);
  }
  EXPECT_TRUE(Saved(editor) == before);
  EXPECT_FALSE(editor.Modified());
  EXPECT_FALSE(editor.CanUndo());
}

TEST_F(EditorDocumentTest, MoveModeOnAHiddenLayerShowsIt) {
  editor.SetLayerVisible(1, false);
  editor.Select(1);
  editor.SetMode(TEditorMode::Move);
  EXPECT_TRUE(Text().Visible());
  EXPECT_EQ(editor.Handles().GetLayer(), &Text());
  EXPECT_EQ(editor.UndoName(), "Show Layer");
  // hiding the selected layer goes back to View mode
  editor.SetLayerVisible(1, false);
  EXPECT_EQ(editor.Mode(), TEditorMode::View);
  EXPECT_EQ(editor.Handles().GetLayer(), nullptr);
}

TEST_F(EditorDocumentTest, ADragWithTheHandlesIsOneStepAndUpdatesTheCoordinates) {
  editor.Select(1);
  editor.SetMode(TEditorMode::Move);
  int finals = 0;
  editor.OnHandlesChanged = [&](bool final) { finals += final; };
  const TFloatRect at = Text().Location();
  const float y = Text().YCoord;
  TRubberbandLayer& frame = editor.Handles();
  ASSERT_TRUE(frame.MouseDown(at.Left + 5, at.Top + 5));
  frame.MouseMove(at.Left + 8, at.Top + 9, false, false);
  frame.MouseMove(at.Left + 15, at.Top + 5, false, false);
  frame.MouseUp();
  EXPECT_EQ(finals, 1);
  EXPECT_FLOAT_EQ(Text().Location().Left, at.Left + 10);
  EXPECT_FLOAT_EQ(Text().XCoord, 10);  // centred: 10 pixels right of the centre
  EXPECT_FLOAT_EQ(Text().YCoord, y);   // untouched axis keeps its exact value
  EXPECT_EQ(Text().Location(), Text().GetLayerRect(kWidth, kHeight));
  EXPECT_EQ(editor.UndoName(), "Move Layer");
  editor.Undo();
  EXPECT_FALSE(editor.Modified());
}

TEST_F(EditorDocumentTest, AnAppliedStretchGivesTheNewSizeWithoutMovingTheLayer) {
  editor.Select(0);  // placed from the right and the bottom in percent
  editor.SetMode(TEditorMode::Resize);
  EXPECT_TRUE(editor.CommandStates().TransformCommands);
  const TFloatRect at = Logo().Location();
  TRubberbandLayer& frame = editor.Handles();
  ASSERT_TRUE(frame.MouseDown(at.Right - 1, at.Bottom - 1));
  EXPECT_EQ(frame.DragKind(), dkBottomRight);
  frame.MouseMove(at.Right - 1 + 40, at.Bottom - 1 + 10, false, false);
  frame.MouseUp();
  editor.ApplyTransform();
  EXPECT_EQ(editor.Mode(), TEditorMode::View);
  EXPECT_EQ(Logo().SourceBitmap().Width(), 100);
  EXPECT_EQ(Logo().SourceBitmap().Height(), 40);
  // the right and bottom margins changed: where the new coordinates put the
  // layer is where it was left, so applying the watermark does not move it
  EXPECT_NE(Logo().XCoord, 3.3f);
  const TFloatRect placed = Logo().GetLayerRect(kWidth, kHeight);
  EXPECT_NEAR(placed.Left, at.Left, 0.01);
  EXPECT_NEAR(placed.Top, at.Top, 0.01);
  EXPECT_EQ(editor.UndoName(), "Resize Layer");

  TWatermarkDocument other;
  editor.HandBack(other, false);
  auto& handed = static_cast<TBaseLayer&>(other.Layers().Items(0));
  EXPECT_NEAR(handed.GetLayerRect(kWidth, kHeight).Left, at.Left, 0.01);
  EXPECT_NEAR(handed.GetLayerRect(kWidth, kHeight).Bottom, at.Bottom + 10, 0.01);
}

TEST_F(EditorDocumentTest, ARolledBackStretchLeavesTheWatermarkAsItWas) {
  const std::string before = Saved(editor);
  editor.Select(1);
  editor.SetMode(TEditorMode::Resize);
  const TFloatRect at = Text().Location();
  editor.Handles().SetLocation(TFloatRect{at.Left, at.Top, at.Right + 50, at.Bottom + 20});
  editor.RollbackTransform();
  EXPECT_TRUE(Saved(editor) == before);
  EXPECT_FALSE(editor.CanUndo());
}

struct TStateCase {
  const char* Name;
  int32_t Selected;
  TEditorMode Mode;
  TEditorCommandStates Expected;
};

class CommandStatesTest : public EditorDocumentTest, public testing::WithParamInterface<TStateCase> {};

TEST_P(CommandStatesTest, FollowTheSelectionAndTheMode) {
  const TStateCase& c = GetParam();
  editor.Select(c.Selected);
  editor.SetMode(c.Mode);
  EXPECT_EQ(editor.CommandStates(), c.Expected) << c.Name;
}

//                               layer  up     down   watermark transform tools  undo   redo
INSTANTIATE_TEST_SUITE_P(
    States, CommandStatesTest,
    testing::Values(
        TStateCase{"nothing selected",
                   -1,
                   TEditorMode::View,
                   {false, false, false, true, false, false, false, false}},
        TStateCase{
            "bottom layer", 0, TEditorMode::View, {true, false, true, true, false, true, false, false}},
        TStateCase{
            "top layer, moving", 1, TEditorMode::Move, {true, true, false, true, false, true, false, false}},
        TStateCase{
            "resizing", 1, TEditorMode::Resize, {false, false, false, false, true, true, false, false}},
        TStateCase{"resize without a layer",
                   -1,
                   TEditorMode::Resize,
                   {false, false, false, false, false, false, false, false}}),
    [](const testing::TestParamInfo<TStateCase>& info) { return "case" + std::to_string(info.index); });

TEST_F(EditorDocumentTest, AnEmptyLayerCannotBePlaced) {
  auto& empty = AddText("");
  EXPECT_EQ(editor.SelectedLayer(), &empty);
  EXPECT_EQ(editor.PanelState(), TPanelState::EmptyLayer);
  EXPECT_FALSE(editor.CommandStates().Tools);
  editor.Select(-1);
  EXPECT_EQ(editor.PanelState(), TPanelState::NoSelection);
  editor.Select(0);
  EXPECT_EQ(editor.PanelState(), TPanelState::Layer);
}

TEST_F(EditorDocumentTest, EveryCommandUndoesAndRedoesToTheSameBytes) {
  std::vector<std::string> states{Saved(editor)};
  std::vector<std::string> names;
  auto step = [&](const char* name, auto&& command) {
    command();
    states.push_back(Saved(editor));
    names.push_back(name);
    EXPECT_EQ(editor.UndoName(), name);
  };
  step("Add Text Layer", [&] { AddText("third"); });
  step("Duplicate Layer", [&] { editor.DuplicateLayer(0); });
  step("Move Layer Down", [&] { editor.MoveLayer(1, 1); });
  step("Hide Layer", [&] { editor.SetLayerVisible(0, false); });
  step("Opacity", [&] {
    editor.Select(3);
    editor.SetOpacity(40);
  });
  step("Change Alignment", [&] { editor.SetAlign(true, vaBottom); });
  step("Tile", [&] { editor.SetTile(true); });
  step("Noise", [&] { editor.SetNoisy(true); });
  step("Layer Style", [&] {
    editor.Select(1);
    editor.SetStyles(TFiltersParams());
  });
  step("Delete Layer", [&] { editor.DeleteLayer(0); });
  step("JPEG Properties", [&] {
    Watermark::TWatermarkExif exif;
    exif.WriteComment = true;
    exif.Comment = "one\r\ntwo";
    editor.SetExif(exif);
  });
  for (size_t i = states.size() - 1; i > 0; --i) {
    EXPECT_EQ(editor.UndoName(), names[i - 1]);
    editor.Undo();
    EXPECT_TRUE(Saved(editor) == states[i - 1]) << "undoing " << names[i - 1];
  }
  EXPECT_FALSE(editor.CanUndo());
  EXPECT_FALSE(editor.Modified());
  for (size_t i = 1; i < states.size(); ++i) {
    EXPECT_EQ(editor.RedoName(), names[i - 1]);
    editor.Redo();
    EXPECT_TRUE(Saved(editor) == states[i]) << "redoing " << names[i - 1];
  }
  EXPECT_FALSE(editor.CanRedo());
  EXPECT_TRUE(editor.Modified());
}

TEST_F(EditorDocumentTest, UndoKeepsTheLayersTheStepDidNotTouch) {
  editor.Select(0);
  editor.SetOpacity(20);
  const TBaseLayer* text = &Text();
  editor.Undo();
  EXPECT_EQ(&Text(), text);
  EXPECT_EQ(Logo().GetMasterAlpha(), 191);
  EXPECT_EQ(Logo().Location(), Logo().GetLayerRect(kWidth, kHeight));
  EXPECT_EQ(&editor.Canvas().Items(editor.Canvas().Count() - 1), &editor.Handles());
}

TEST_F(EditorDocumentTest, TypingInOneFieldIsOneStep) {
  editor.Select(0);
  for (double x : {1.0, 12.0, 123.0}) editor.SetCoord(false, x);
  editor.CloseMerge();
  for (double y : {4.0, 45.0}) editor.SetCoord(true, y);
  editor.SetCoord(false, 7);
  EXPECT_EQ(editor.UndoName(), "Change X");
  editor.Undo();
  EXPECT_FLOAT_EQ(Logo().XCoord, 123);
  EXPECT_FLOAT_EQ(Logo().YCoord, 45);
  editor.Undo();
  EXPECT_FLOAT_EQ(Logo().YCoord, 17);
  editor.Undo();
  EXPECT_FLOAT_EQ(Logo().XCoord, 3.3f);
  EXPECT_FALSE(editor.CanUndo());
}

TEST_F(EditorDocumentTest, HoldsMoreThanAHundredSteps) {
  editor.Select(0);
  for (int i = 0; i < 150; ++i) {
    editor.Nudge(1, 0);
    editor.CloseMerge();
  }
  int undone = 0;
  while (editor.CanUndo()) {
    editor.Undo();
    ++undone;
  }
  EXPECT_EQ(undone, 150);
  EXPECT_FLOAT_EQ(Logo().XCoord, 3.3f);
}

TEST_F(EditorDocumentTest, ARestoredMacroTextComesBackAtItsStretch) {
  // The stand-in canvas shows macros as written; undo rebuilds the layer
  // from its stored block and must render it the same way.
  TWatermarkDocument macros;
  auto& text = macros.Layers().Add<TTextLayer>();
  text.Text = "<FILENAME>";
  text.ShowMacroNames = true;
  text.RenderText();
  text.ResizeTo(text.NaturalWidth * 2, text.NaturalHeight);
  text.ShowMacroNames = false;
  editor.Open(macros.Layers(), macros.Exif(), TEditorDocument::WhiteCanvas(400, 300), nullptr, true);
  auto& shown = static_cast<TTextLayer&>(editor.Layer(0));
  EXPECT_TRUE(shown.ShowMacroNames);
  const int32_t width = shown.SourceBitmap().Width();
  EXPECT_GT(width, 20);
  editor.DeleteLayer(0);
  editor.Undo();
  auto& back = static_cast<TTextLayer&>(editor.Layer(0));
  EXPECT_TRUE(back.ShowMacroNames);
  EXPECT_EQ(back.SourceBitmap().Width(), width);
  EXPECT_EQ(editor.PanelState(), TPanelState::Layer);
}

TEST_F(EditorDocumentTest, LayerAtFindsTheTopmostVisibleLayer) {
  editor.Select(0);
  editor.SetUnit(false, cuPixels);
  editor.SetAlign(false, haLeft);
  editor.SetUnit(true, cuPixels);
  editor.SetAlign(true, vaTop);
  AddText("Covering text that is long enough");
  const TFloatRect r = editor.Layer(2).Location();
  EXPECT_EQ(editor.LayerAt(r.Left + 1, r.Top + 1), 2);
  editor.SetLayerVisible(2, false);
  EXPECT_EQ(editor.LayerAt(r.Left + 1, r.Top + 1), 0);
  EXPECT_EQ(editor.LayerAt(-5, -5), -1);
}

TEST_F(EditorDocumentTest, DeletingSelectsTheNextRowAndUndoBringsTheLayerBack) {
  editor.SetMode(TEditorMode::Move);
  editor.DeleteLayer(0);
  EXPECT_EQ(editor.Mode(), TEditorMode::View);
  EXPECT_EQ(editor.LayerNames(), (std::vector<std::string>{"(c) Studio"}));
  EXPECT_EQ(editor.Selected(), 0);
  editor.DeleteLayer(0);
  EXPECT_EQ(editor.Selected(), -1);
  editor.Undo();
  editor.Undo();
  EXPECT_EQ(editor.LayerNames(), (std::vector<std::string>{"Logo", "(c) Studio"}));
}

// ---- fitting the layer to each picture ------------------------------------------------------

struct TFitEditCase {
  const char* step;
  std::function<void(TEditorDocument&)> edit;
  std::function<bool(const TBaseLayer&)> applied;
};

class FitEditsTest : public EditorDocumentTest, public testing::WithParamInterface<TFitEditCase> {};

TEST_P(FitEditsTest, AreUndoableStepsThatPlaceTheLayerAgain) {
  const TFitEditCase& c = GetParam();
  editor.Select(1);
  const std::string before = Saved(editor);
  c.edit(editor);
  EXPECT_EQ(editor.UndoName(), c.step);
  EXPECT_TRUE(c.applied(Text()));
  EXPECT_EQ(Text().Location(), Text().GetLayerRect(kWidth, kHeight));
  const std::string after = Saved(editor);
  EXPECT_NE(after, before);
  editor.Undo();
  EXPECT_TRUE(Saved(editor) == before);
  EXPECT_FALSE(c.applied(Text()));
  EXPECT_EQ(Text().Location(), Text().GetLayerRect(kWidth, kHeight));
  EXPECT_FALSE(editor.Modified());
  editor.Redo();
  EXPECT_TRUE(Saved(editor) == after);
  EXPECT_TRUE(c.applied(Text()));
  // and the document gets the fields on Apply
  editor.HandBack(doc, false);
  EXPECT_TRUE(c.applied(static_cast<const TBaseLayer&>(doc.Layers().Items(1))));
}

INSTANTIATE_TEST_SUITE_P(
    Editor, FitEditsTest,
    testing::Values(TFitEditCase{"Size", [](TEditorDocument& e) { e.SetSizeMode(lsShorter); },
                                 [](const TBaseLayer& l) { return l.SizeMode == lsShorter; }},
                    TFitEditCase{"Size", [](TEditorDocument& e) { e.SetSizePercent(25); },
                                 [](const TBaseLayer& l) { return l.SizePercent == 25; }},
                    TFitEditCase{"Orientation", [](TEditorDocument& e) { e.SetOrientation(loPortrait); },
                                 [](const TBaseLayer& l) { return l.Orientation == loPortrait; }},
                    TFitEditCase{"Rotate", [](TEditorDocument& e) { e.SetAngle(30); },
                                 [](const TBaseLayer& l) { return l.Angle == 30; }},
                    TFitEditCase{"Size", [](TEditorDocument& e) { e.SetSizeMode(lsShorterHeight); },
                                 [](const TBaseLayer& l) { return l.SizeMode == lsShorterHeight; }},
                    TFitEditCase{"Change Unit",
                                 [](TEditorDocument& e) { e.SetUnit(false, cuShorterPercent); },
                                 [](const TBaseLayer& l) { return l.XUnit == cuShorterPercent; }},
                    TFitEditCase{"Change Unit", [](TEditorDocument& e) { e.SetUnit(true, cuShorterPercent); },
                                 [](const TBaseLayer& l) { return l.YUnit == cuShorterPercent; }}));

TEST_F(EditorDocumentTest, FitEditsKeepToTheirRanges) {
  editor.Select(0);
  struct Case {
    std::function<void()> edit;
    std::function<double()> value;
    double expected;
  } cases[] = {
      {[&] { editor.SetSizeMode(9); }, [&] { return Logo().SizeMode; }, lsFixed},
      {[&] { editor.SetSizeMode(lsLonger); }, [&] { return Logo().SizeMode; }, lsLonger},
      {[&] { editor.SetSizeMode(lsShorterHeight); }, [&] { return Logo().SizeMode; }, lsShorterHeight},
      {[&] { editor.SetSizeMode(lsShorterHeight + 1); }, [&] { return Logo().SizeMode; }, lsFixed},
      {[&] { editor.SetSizeMode(lsShorterHeight); }, [&] { return Logo().SizeMode; }, lsShorterHeight},
      {[&] { editor.SetSizePercent(5000); }, [&] { return Logo().SizePercent; }, 1000},
      {[&] { editor.SetSizePercent(0); }, [&] { return Logo().SizePercent; }, 0.1f},
      {[&] { editor.SetSizePercent(NAN); }, [&] { return Logo().SizePercent; }, 10},
      {[&] { editor.SetOrientation(7); }, [&] { return Logo().Orientation; }, loBoth},
      {[&] { editor.SetAngle(540); }, [&] { return Logo().Angle; }, 180},
      {[&] { editor.SetAngle(-190); }, [&] { return Logo().Angle; }, 170},
      {[&] { editor.SetAngle(-360); }, [&] { return Logo().Angle; }, 0},
      {[&] { editor.SetAngle(INFINITY); }, [&] { return Logo().Angle; }, 0},
  };
  for (const Case& c : cases) {
    c.edit();
    EXPECT_FLOAT_EQ(float(c.value()), float(c.expected));
    EXPECT_EQ(Logo().Location(), Logo().GetLayerRect(kWidth, kHeight));
  }
  // every value the editor stores, the file takes back
  TMemoryStream s;
  SaveWatermark(s, editor.Canvas(), editor.Exif());
  s.Seek(0);
  TLayerCollection read;
  Watermark::TWatermarkExif exif;
  OpenWatermark(s, read, exif);
  EXPECT_EQ(read.Count(), 2);
}

TEST_F(EditorDocumentTest, TypingThePercentageOrTheAngleIsOneStep) {
  editor.Select(0);
  for (double p : {1.0, 12.0, 12.5}) editor.SetSizePercent(p);
  editor.CloseMerge();
  for (double a : {4.0, 45.0}) editor.SetAngle(a);
  editor.Undo();
  EXPECT_FLOAT_EQ(Logo().SizePercent, 12.5f);
  EXPECT_FLOAT_EQ(Logo().Angle, 0);
  editor.Undo();
  EXPECT_FLOAT_EQ(Logo().SizePercent, 10);
  EXPECT_FALSE(editor.CanUndo());
}

TEST_F(EditorDocumentTest, ATurnedRelativeLayerIsPlacedAndMovedOnTheCanvas) {
  editor.Select(0);
  editor.SetSizeMode(lsWidth);
  editor.SetSizePercent(20);
  editor.SetAngle(90);
  // 20 % of 800 is a 160 x 80 content, turned: 80 wide, 160 high (and a margin)
  const TFloatRect r = Logo().Location();
  EXPECT_NEAR(r.Width(), 80, 3);
  EXPECT_NEAR(r.Height(), 160, 3);
  // right-aligned at 3.3 %: the unturned content's right edge, the centre kept
  EXPECT_NEAR((r.Left + r.Right) / 2, kWidth * (1 - 0.033) - 80, 0.5);
  editor.Nudge(10, 0);
  EXPECT_NEAR(Logo().XCoord, 3.3 - 10 * 100.0 / kWidth, 1e-3);
  EXPECT_EQ(Logo().Location(), Logo().GetLayerRect(kWidth, kHeight));
}

TEST_F(EditorDocumentTest, StretchingAFittedLayerScalesWhatSetsItsSize) {
  struct Case {
    uint8_t mode;
    float angle;
    double stretchX, stretchY;
    float percent;          // expected afterwards (relative sizes)
    int32_t width, height;  // expected source size (fixed size)
  } cases[] = {
      {lsWidth, 0, 2, 1, 20, 60, 30},     // the width decides
      {lsHeight, 0, 1, 1.5, 15, 60, 30},  // the height decides
      {lsShorter, 30, 2, 2, 20, 60, 30},  // turned: the same factor both ways
      {lsFixed, 30, 2, 2, 10, 120, 60},   // a fixed size grows its content
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.mode));
    Open();
    editor.Select(0);
    editor.SetSizeMode(c.mode);
    editor.SetAngle(c.angle);
    const std::string before = Saved(editor);
    editor.SetMode(TEditorMode::Resize);
    const TFloatRect at = editor.Handles().Location();
    editor.Handles().SetLocation(TFloatRect{at.Left, at.Top, float(at.Left + at.Width() * c.stretchX),
                                            float(at.Top + at.Height() * c.stretchY)});
    editor.ApplyTransform();
    EXPECT_EQ(editor.Mode(), TEditorMode::View);
    EXPECT_NEAR(Logo().SizePercent, c.percent, 0.2);
    EXPECT_EQ(Logo().SourceBitmap().Width(), c.width);
    EXPECT_EQ(Logo().SourceBitmap().Height(), c.height);
    EXPECT_EQ(Logo().Location(), Logo().GetLayerRect(kWidth, kHeight));
    EXPECT_EQ(editor.UndoName(), "Resize Layer");
    editor.Undo();
    EXPECT_TRUE(Saved(editor) == before);
  }
}

TEST_F(EditorDocumentTest, APendingStretchOfAFittedLayerAppliedOnLeavingResizeScalesItsPercentage) {
  editor.Select(0);
  editor.SetSizeMode(lsWidth);
  editor.SetAngle(90);  // turned a quarter: the frame's width is the content's height
  editor.SetMode(TEditorMode::Resize);
  const TFloatRect at = editor.Handles().Location();
  editor.Handles().SetLocation(
      TFloatRect{at.Left, at.Top, at.Left + at.Width() * 2, at.Top + at.Height() * 2});
  editor.SetMode(TEditorMode::View);  // the pending stretch is applied
  EXPECT_NEAR(Logo().SizePercent, 20, 0.5);
  EXPECT_EQ(Logo().SourceBitmap().Width(), 60);
  EXPECT_EQ(Logo().Location(), Logo().GetLayerRect(kWidth, kHeight));
  EXPECT_EQ(editor.UndoName(), "Resize Layer");
}

}  // namespace
}  // namespace tvx
