#include "editor/EditorHistory.h"

#include <gtest/gtest.h>

#include "watermark/TextLayer.h"
#include "watermark/WatermarkTestUtil.h"

namespace tvx {
namespace {

// A state whose one EXIF text tells it apart.
TEditorState State(const std::string& title) {
  TEditorState s;
  s.Exif.Title = title;
  return s;
}

std::vector<std::string> Titles(TUndoHistory& h) {
  // walks back to the start and forward again, collecting every state's title
  while (h.CanUndo()) h.Undo();
  std::vector<std::string> titles{h.Current().Exif.Title};
  while (h.CanRedo()) titles.push_back(h.Redo().Exif.Title);
  return titles;
}

TEST(UndoHistory, StepsGoBackAndForthWithTheirNames) {
  TUndoHistory h;
  h.Reset(State("start"));
  EXPECT_TRUE(h.IsClean());
  EXPECT_EQ(h.UndoName(), "");
  h.Commit(State("a"), "First");
  h.Commit(State("b"), "Second");
  EXPECT_FALSE(h.IsClean());
  EXPECT_EQ(h.UndoName(), "Second");
  EXPECT_EQ(h.Undo().Exif.Title, "a");
  EXPECT_EQ(h.UndoName(), "First");
  EXPECT_EQ(h.RedoName(), "Second");
  EXPECT_EQ(h.Undo().Exif.Title, "start");
  EXPECT_TRUE(h.IsClean());
  EXPECT_FALSE(h.CanUndo());
  EXPECT_EQ(h.Undo().Exif.Title, "start");  // nothing more to undo
  EXPECT_EQ(h.Redo().Exif.Title, "a");
}

TEST(UndoHistory, ANewStepDropsWhatCouldBeRedone) {
  TUndoHistory h;
  h.Reset(State("start"));
  h.Commit(State("a"), "A");
  h.Commit(State("b"), "B");
  h.Undo();
  h.Commit(State("c"), "C");
  EXPECT_FALSE(h.CanRedo());
  EXPECT_EQ(Titles(h), (std::vector<std::string>{"start", "a", "c"}));
}

TEST(UndoHistory, AStateLikeTheCurrentOneIsNoStep) {
  TUndoHistory h;
  h.Reset(State("start"));
  TEditorState same = State("start");
  same.Selected = 3;
  h.Commit(same, "Nothing");
  EXPECT_FALSE(h.CanUndo());
  EXPECT_EQ(h.Current().Selected, 3);  // the selection follows anyway
}

struct TMergeCase {
  const char* Name;
  std::vector<std::pair<std::string, std::string>> Commits;  // title, merge key ("|" closes merging)
  std::vector<std::string> Expected;
};

class UndoMergeTest : public testing::TestWithParam<TMergeCase> {};

TEST_P(UndoMergeTest, MergesOneFieldsEditsInARow) {
  const TMergeCase& c = GetParam();
  TUndoHistory h;
  h.Reset(State("start"));
  for (const auto& [title, key] : c.Commits) {
    if (key == "|") {
      h.CloseMerge();
      continue;
    }
    h.Commit(State(title), "Step", key);
  }
  EXPECT_EQ(Titles(h), c.Expected) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UndoMergeTest,
    testing::Values(
        TMergeCase{"one field typed", {{"1", "x"}, {"12", "x"}, {"123", "x"}}, {"start", "123"}},
        TMergeCase{"two fields", {{"1", "x"}, {"12", "x"}, {"4", "y"}, {"45", "y"}}, {"start", "12", "45"}},
        TMergeCase{"focus left between", {{"1", "x"}, {"|", "|"}, {"12", "x"}}, {"start", "1", "12"}},
        TMergeCase{"commands never merge", {{"a", ""}, {"b", ""}}, {"start", "a", "b"}},
        TMergeCase{
            "a command ends merging", {{"1", "x"}, {"a", ""}, {"12", "x"}}, {"start", "1", "a", "12"}}),
    [](const testing::TestParamInfo<TMergeCase>& info) { return "case" + std::to_string(info.index); });

TEST(UndoHistory, UndoEndsMerging) {
  TUndoHistory h;
  h.Reset(State("start"));
  h.Commit(State("1"), "Type", "x");
  h.Commit(State("2"), "Command");
  h.Undo();
  h.Commit(State("12"), "Type", "x");
  EXPECT_EQ(Titles(h), (std::vector<std::string>{"start", "1", "12"}));
}

TEST(UndoHistory, KeepsItsLimitAndForgetsTheCleanStateWhenDropped) {
  TUndoHistory h;
  h.Limit = 100;
  h.Reset(State("start"));
  for (int i = 1; i <= 130; ++i) h.Commit(State(std::to_string(i)), "Step");
  EXPECT_EQ(h.Size(), 101u);
  int undone = 0;
  while (h.CanUndo()) {
    h.Undo();
    ++undone;
  }
  EXPECT_EQ(undone, 100);
  EXPECT_EQ(h.Current().Exif.Title, "30");
  EXPECT_FALSE(h.IsClean());  // the start is gone
}

TEST(UndoHistory, TheCleanStateLostToANewBranchStaysLost) {
  TUndoHistory h;
  h.Reset(State("start"));
  h.Commit(State("a"), "A");
  h.Undo();
  EXPECT_TRUE(h.IsClean());
  h.Redo();
  h.Undo();
  h.Commit(State("b"), "B");
  h.Undo();
  EXPECT_TRUE(h.IsClean());
}

TEST(LayerRecord, SharesUnchangedBlocksWithThePreviousState) {
  TLayerCollection layers;
  TBitmapLayer* picture = test::AddPictureLayer(layers, 200, 100, 0xFF102030);
  picture->FileName = "/pics/logo.png";
  picture->Tag = 4;
  const TLayerRecord first = RecordLayer(*picture);
  EXPECT_EQ(first.ClassName, "TBitmapLayer");
  EXPECT_EQ(first.FileName, "/pics/logo.png");
  EXPECT_EQ(first.Tag, 4);
  EXPECT_EQ(first.Content->size(), 16u + 200 * 100 * 4);

  picture->XCoord = 50;  // a move changes the base block only
  const std::vector<TLayerRecord> previous{first};
  const TLayerRecord moved = RecordLayer(*picture, &previous);
  EXPECT_EQ(moved.Content, first.Content);  // the very same pixels
  EXPECT_NE(*moved.Base, *first.Base);
  EXPECT_FALSE(moved.SameAs(first));
  picture->XCoord = 0;
  EXPECT_TRUE(RecordLayer(*picture, &previous).SameAs(first));
}

TEST(LayerRecord, RestoresTheLayerItRecorded) {
  TLayerCollection layers;
  auto& text = layers.Add<TTextLayer>();
  text.Text = "Two\r\nlines";
  text.Justification = tjRight;
  text.RenderText();
  text.ResizeTo(text.NaturalWidth + 13, text.NaturalHeight + 5);
  text.SetMasterAlpha(90);
  text.Tag = 9;
  const TLayerRecord record = RecordLayer(text);
  std::unique_ptr<TBaseLayer> back = RestoreLayer(record, &layers, nullptr, false);
  EXPECT_EQ(back->Tag, 9);
  EXPECT_TRUE(RecordLayer(*back).SameAs(record));
  EXPECT_EQ(back->SourceBitmap().Width(), text.SourceBitmap().Width());
  EXPECT_EQ(back->SourceBitmap().Height(), text.SourceBitmap().Height());
}

}  // namespace
}  // namespace tvx
