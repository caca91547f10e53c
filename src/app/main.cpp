#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kVersion = "2.2";

void PrintUsage() {
  std::printf(
      "Usage: tarvex [options]\n"
      "Puts a watermark on many pictures at once.\n"
      "\n"
      "  --help       show this help and exit\n"
      "  --version    show the version and exit\n");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintUsage();
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s\n", kVersion);
      return 0;
    }
  }
  PrintUsage();
  return 0;
}
