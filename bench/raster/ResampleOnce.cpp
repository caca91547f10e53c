// Companion of bench/resample-vs-vips.sh: writes the synthetic photo as raw
// B, G, R, A bytes, and times ResampleBitmap on those bytes held in memory.
//   resample_once write <file.raw> <width> <height>
//   resample_once time <file.raw> <width> <height> <newWidth> <newHeight> <runs>
// "time" prints one line per run: wall and processor seconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "SyntheticPhoto.h"
#include "util/Utils.h"

int main(int argc, char** argv) {
  using namespace tvx;
  if (argc >= 5 && std::strcmp(argv[1], "write") == 0) {
    const TBitmap32 b = bench::SyntheticPhoto(std::atoi(argv[3]), std::atoi(argv[4]));
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.Bits()),
              static_cast<std::streamsize>(b.Width()) * b.Height() * 4);
    return out ? 0 : 1;
  }
  if (argc >= 8 && std::strcmp(argv[1], "time") == 0) {
    TBitmap32 source(std::atoi(argv[3]), std::atoi(argv[4]));
    std::ifstream in(argv[2], std::ios::binary);
    in.read(reinterpret_cast<char*>(source.Bits()),
            static_cast<std::streamsize>(source.Width()) * source.Height() * 4);
    if (!in) return 1;
    const int runs = std::max(1, std::atoi(argv[7]));
    auto cpu = [] {
      timespec ts{};
      clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
      return ts.tv_sec + ts.tv_nsec * 1e-9;
    };
    for (int i = 0; i < runs; ++i) {
      TBitmap32 work = source;
      const double c0 = cpu();
      const auto t0 = std::chrono::steady_clock::now();
      ResampleBitmap(work, std::atoi(argv[5]), std::atoi(argv[6]));
      const auto t1 = std::chrono::steady_clock::now();
      std::printf("%.4f %.4f\n", std::chrono::duration<double>(t1 - t0).count(), cpu() - c0);
    }
    return 0;
  }
  std::fprintf(stderr, "usage: resample_once write|time ...\n");
  return 2;
}
