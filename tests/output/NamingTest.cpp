#include "output/Naming.h"

#include <gtest/gtest.h>

#include <set>

namespace tvx {
namespace {

// A plug-in set that saves JPG and PNG.
bool CanSaveJpgPng(const std::string& ext) {
  std::string e;
  for (char c : ext) e += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e == ".jpg" || e == ".png";
}

struct TNamingCase {
  const char* name;
  const char* source;
  bool keep;
  const char* format;
  const char* folder;
  bool addSuffix;
  const char* expected;
};

TEST(MakeOutputFileName, FirstCallForEachChoice) {
  const TNamingCase cases[] = {
      {"rename keeps jpg", "/pics/photo.jpg", true, "PNG", "", true, "/pics/photo_wm.jpg"},
      {"rename converts", "/pics/photo.jpg", false, "PNG", "", true, "/pics/photo_wm.png"},
      {"overwrite in place", "/pics/photo.jpg", true, "PNG", "", false, "/pics/photo.jpg"},
      {"other folder", "/pics/photo.jpg", true, "PNG", "/out", false, "/out/photo.jpg"},
      {"other folder with slash", "/pics/photo.jpg", true, "PNG", "/out/", false, "/out/photo.jpg"},
      {"upper-case extension kept", "/pics/PHOTO.JPG", true, "PNG", "", true, "/pics/PHOTO_wm.JPG"},
      {"load-only format converted", "/pics/photo.jpeg", true, "PNG", "", true, "/pics/photo_wm.png"},
      {"last dot only", "/pics/a.b.jpg", true, "PNG", "", true, "/pics/a.b_wm.jpg"},
      {"dot in folder", "/pi.cs/photo", true, "JPG", "", true, "/pi.cs/photo_wm.jpg"},
  };
  for (const auto& c : cases) {
    TNamingState state;
    EXPECT_EQ(MakeOutputFileName(state, CanSaveJpgPng, c.source, c.keep, c.format, c.folder, c.addSuffix, "_wm"),
              c.expected)
        << c.name;
  }
}

TEST(MakeOutputFileName, RepeatCounterRunsPerSourceAndIsNeverReset) {
  TNamingState state;
  auto name = [&](const std::string& source) {
    return MakeOutputFileName(state, CanSaveJpgPng, source, true, "JPG", "", true, "_wm");
  };
  EXPECT_EQ(name("/pics/photo.jpg"), "/pics/photo_wm.jpg");
  EXPECT_EQ(name("/pics/photo.jpg"), "/pics/photo_wm(1).jpg");
  EXPECT_EQ(name("/pics/photo.jpg"), "/pics/photo_wm(2).jpg");
  EXPECT_EQ(name("/pics/other.jpg"), "/pics/other_wm.jpg");
  EXPECT_EQ(name("/pics/photo.jpg"), "/pics/photo_wm.jpg");
  // The next run's first picture is the same source: it already counts.
  EXPECT_EQ(name("/pics/photo.jpg"), "/pics/photo_wm(1).jpg");
  // The resize run shares the state.
  EXPECT_EQ(MakeOutputFileName(state, CanSaveJpgPng, "/pics/photo.jpg", true, "JPG", "", true, "_resize"),
            "/pics/photo_resize(2).jpg");
}

}  // namespace
}  // namespace tvx
