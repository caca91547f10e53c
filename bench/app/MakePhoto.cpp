// Writes a photo-like picture as a binary PPM on standard output, for the
// side-by-side benchmarks that feed the same JPEGs to tarvex and to cjpeg.
// Usage: make_photo WIDTH HEIGHT [SEED]

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "../raster/SyntheticPhoto.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_photo WIDTH HEIGHT [SEED]\n");
    return 2;
  }
  int w = std::atoi(argv[1]), h = std::atoi(argv[2]);
  int seed = argc > 3 ? std::atoi(argv[3]) : 0;
  if (w <= 0 || h <= 0) return 2;
  tvx::TBitmap32 photo = tvx::bench::SyntheticPhoto(w, h);
  std::printf("P6\n%d %d\n255\n", w, h);
  std::vector<unsigned char> row(static_cast<size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    const tvx::TColor32* p = photo.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      // the seed shifts the colours so that files differ
      row[3 * x] = static_cast<unsigned char>(tvx::RedOf(p[x]) + seed * 7);
      row[3 * x + 1] = tvx::GreenOf(p[x]);
      row[3 * x + 2] = static_cast<unsigned char>(tvx::BlueOf(p[x]) + seed * 3);
    }
    std::fwrite(row.data(), 1, row.size(), stdout);
  }
  return 0;
}
