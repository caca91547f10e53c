// modern_transcode IN OUT [QUALITY [--exif | --exif-steps]]: one picture
// through the plug-ins, as a batch run moves it: LoadBitmap by IN's
// extension, SaveBitmap by OUT's at the given quality (SetQuality of OUT's
// extension); with --exif also the run's metadata step as the run makes it
// (ApplyWatermarkExif with all four fields: one rewrite where the plug-in
// offers it), with --exif-steps as separate calls, CopyExif(IN, OUT) and the
// four WriteExif (the copy timed on its own). A ".ppm" output is written
// here (a header and the RGB bytes), so decoding can be timed against the
// tools that write PPM. Prints the milliseconds of the load and the
// save (and of the metadata) on one line. The plug-ins are the built ones beside tarvex.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "imageio/PluginManager.h"
#include "imageio/WatermarkExif.h"
#include "util/Error.h"

namespace {

// PPM (RGB) as dwebp -ppm and djxl write it.
bool WritePpm(const std::string& path, const tvx::TBitmap32& bitmap) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", bitmap.Width(), bitmap.Height());
  std::vector<uint8_t> row(size_t(bitmap.Width()) * 3);
  for (int y = 0; y < bitmap.Height(); ++y) {
    const uint32_t* p = bitmap.Bits() + size_t(y) * bitmap.Width();
    for (int x = 0; x < bitmap.Width(); ++x) {
      row[size_t(x) * 3] = uint8_t(p[x] >> 16), row[size_t(x) * 3 + 1] = uint8_t(p[x] >> 8);
      row[size_t(x) * 3 + 2] = uint8_t(p[x]);
    }
    std::fwrite(row.data(), 1, row.size(), f);
  }
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: modern_transcode IN OUT [QUALITY]\n");
    return 2;
  }
  try {
    tvx::TPluginManager plugins(TARVEX_BIN_DIR);
    const std::string in = argv[1], out = argv[2], ext = tvx::ExtractFileExt(out);
    using Clock = std::chrono::steady_clock;
    auto t0 = Clock::now();
    std::unique_ptr<tvx::TBitmap32> bitmap = plugins.LoadBitmap(in);
    auto t1 = Clock::now();
    bool ok;
    if (ext == ".ppm") {
      ok = WritePpm(out, *bitmap);
    } else {
      plugins.SetQuality(ext, argc > 3 ? std::stoi(argv[3]) : 80);
      ok = plugins.SaveBitmap(out, *bitmap);
    }
    auto t2 = Clock::now();
    auto tc = t2;
    const std::string mode = argc > 4 ? argv[4] : "";
    if (ok && mode == "--exif") {
      tvx::Watermark::TWatermarkExif exif;
      exif.WriteTitle = exif.WriteCopyright = exif.WriteArtist = exif.WriteComment = true;
      exif.Title = "Title", exif.Copyright = "(c) Studio", exif.Artist = "Artist", exif.Comment = "Comment";
      tvx::Watermark::ApplyWatermarkExif(plugins, exif, in, out);
    } else if (ok && mode == "--exif-steps") {
      plugins.CopyExif(in, out);
      tc = Clock::now();
      for (auto [tag, text] : {std::pair<tvx::ExifTag, const char*>{270, "Title"}, {33432, "(c) Studio"},
                               {315, "Artist"}, {37510, "Comment"}})
        ok = plugins.WriteExif(out, tag, text) && ok;
    }
    auto t3 = Clock::now();
    auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
    std::printf("load %.1f ms save %.1f ms metadata %.1f ms", ms(t0, t1), ms(t1, t2), ms(t2, t3));
    if (mode == "--exif-steps") std::printf(" (copy %.1f ms)", ms(t2, tc));
    std::printf("\n");
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "modern_transcode: %s\n", e.what());
    return 1;
  }
}
