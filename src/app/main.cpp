// tarvex: puts a watermark on many pictures at once. Without windows it runs
// a batch from the command line with the stored output settings.

#include <signal.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Console.h"
#include "app/CrashReport.h"
#include "app/JsonProgress.h"
#include "app/QuickWatermark.h"
#include "app/RunSummary.h"
#include "app/Session.h"
#include "util/Error.h"
#include "watermark/WatermarkFile.h"
#if TARVEX_WITH_UI
#include "app/ui/GuiMain.h"
#endif

namespace {

#ifndef TARVEX_PROGRAM_NAME
#define TARVEX_PROGRAM_NAME "tarvex"
#endif
constexpr const char* kProgram = TARVEX_PROGRAM_NAME;

void PrintUsage() {
  std::printf(
      "Usage: %s [options] [FILE...]\n"
      "Puts a watermark on many pictures at once.\n"
      "\n"
      "FILE: a watermark file (.tvx) to open, a picture to add to the image list, or a\n"
      "folder whose pictures are added (not those of its subfolders).\n"
      "\n"
      "Options:\n"
      "  -w FILE          open the watermark FILE (.tvx)\n"
      "  -a PATTERN       add the pictures matching PATTERN (a folder and a wildcard name)\n"
      "  -ar FOLDER [TEXT]  add the pictures in FOLDER and all its subfolders, only those\n"
      "                   whose name contains TEXT when given\n"
      "  -r               run the watermarking when started\n"
      "  -s               skip the output settings dialog: use the stored settings\n"
      "  -q               quit after the run\n"
#if TARVEX_WITH_UI
      "  --no-gui         run without windows even when a display is available\n"
#endif
      "  --config FILE    use FILE as the settings store instead of the default .config\n"
      "  --jpeg-keep-blocks  keep JPEG quality: re-encode only the watermarked blocks of\n"
      "                   JPEGs written as JPEGs without resizing (as the output setting)\n"
      "  --help           show this help and exit\n"
      "  --version        show the version and exit\n"
      "  --               take every argument that follows as a FILE\n"
      "\n"
      "Batch runs without windows:\n"
      "  --jobs N         N worker threads (0: one per core, the default; the setting\n"
      "                   \"Jobs\" of [GlobalOptions]); the files written are the same\n"
      "                   for every N\n"
      "  --files-from FILE  add the pictures listed in FILE, one per line ('-': read\n"
      "                   standard input)\n"
      "  --null           the lists of --files-from are NUL-separated (find -print0)\n"
      "  --shard I/N      do only shard I of N (0 <= I < N): the pictures whose place in\n"
      "                   the list sorted by full path is I modulo N\n"
      "  --overwrite POLICY  ask, skip, replace or rename an existing output, instead\n"
      "                   of the stored \"OverwriteExisting\"\n"
      "  --keep-going     a picture that fails is reported and the run goes on\n"
      "                   (the setting \"StopOnError\"=0 of [WatermarkingOptions])\n"
      "  --progress jsonl one JSON object per picture on standard output, then a final one\n"
      "  --dry-run        say what would be written, read and write no picture\n"
      "\n"
      "Output settings for this run only (the stored ones stay as they are):\n"
      "  --output DIR     write into the folder DIR (created when missing)\n"
      "  --in-place       write into the source folder and replace the sources\n"
      "  --suffix         write into the source folder with \"_wm\" after the name\n"
      "  --format EXT     write EXT files (jpg, png, ...: what a plug-in saves), or\n"
      "                   keep each source's format\n"
      "  --quality N      JPEG quality 0 to 100\n"
      "  --remove-originals  delete each source after its output is written\n"
      "\n"
      "A watermark made on the command line (no watermark file needed):\n"
      "  --text TEXT      a text layer; macros such as <FILENAME> or <DATE_TIME> allowed\n"
      "  --logo FILE      a picture layer from FILE\n"
      "  --position POS   top-left, top, top-right, left, center, right, bottom-left,\n"
      "                   bottom or bottom-right (default bottom-right)\n"
      "  --margin PERCENT distance from the edges, percent of the shorter side, the same\n"
      "                   pixels from the side and from the top or bottom (default 3)\n"
      "  --size PERCENT   text line height, or logo width, as percent of the shorter\n"
      "                   side (default 5); long macro values make a text wider only\n"
      "  --opacity PERCENT  default 100\n"
      "  --font FAMILY    the text's font family\n"
      "  --color #RRGGBB  the text's colour (default #FFFFFF, white); write '#RRGGBB'\n"
      "                   or --color=#RRGGBB: a word starting with # is a shell comment\n"
      "  --shadow         add the default drop shadow\n"
      "  --tile           repeat the layer over the whole picture\n"
      "  --rotate DEGREES rotate the layer around its centre, clockwise; a negative\n"
      "                   angle turns it the other way (-30: a text rising to the right)\n"
      "  Each --text or --logo adds a layer on top of the previous ones (and of the\n"
      "  -w watermark). The layer options apply to the latest --text or --logo; given\n"
      "  before the first one, they are the default of every layer.\n"
      "  --save-watermark FILE.tvx  save the watermark (made here or opened with -w);\n"
      "                   exits unless -r is given (the run then goes without windows)\n"
      "  --describe FILE.tvx  print the watermark's layers and EXIF fields as one JSON\n"
      "                   object and exit\n"
      "\n"
#if TARVEX_WITH_UI
      "With windows, a second tarvex started while one is open hands its files to the\n"
      "open window and exits (unless it is given -r or -q).\n"
      "Without a display (neither DISPLAY nor WAYLAND_DISPLAY set), or with --no-gui,\n"
      "\"-r\" runs the batch with the stored output settings and exits when done.\n"
#else
      "%s runs without windows: \"-r\" runs the batch with the stored output settings\n"
      "and exits when done.\n"
#endif
      "Quote the pattern of -a so that the shell does not expand it:\n"
      "\n"
      "  %s -w \"Sample Watermarks/Copyright.tvx\" -r -s -q -a '/home/me/pics/*.jpg'\n"
      "  %s -r -s -q Copyright.tvx /home/me/pics\n"
      "  %s -r -s -q --text '(c) Me - <FILENAME>' --shadow --output /home/me/out /home/me/pics\n"
      "  %s --size 10 --opacity 60 --logo logo.png --position top-left --text Proof --tile\n"
      "      --rotate 30 --save-watermark proof.tvx\n"
      "  %s -r -s -q -w proof.tvx --format png --suffix --overwrite rename /home/me/pics\n"
      "  %s --describe proof.tvx\n"
      "\n"
      "Exit status: 0 when the run completed, 1 on an error or when a picture failed,\n"
      "2 when the command line is wrong (an unknown option among others), 130 when\n"
      "interrupted (SIGINT, SIGTERM).\n",
      kProgram,
#if !TARVEX_WITH_UI
      kProgram,
#endif
      kProgram, kProgram, kProgram, kProgram, kProgram, kProgram);
}

// "--describe FILE": the watermark as one JSON object on standard output.
int Describe(const std::string& fileName) {
  // The reader takes a missing file or a foreign one for an empty watermark;
  // described, that would look like a real answer.
  char magic[4] = {};
  std::ifstream in(fileName, std::ios::binary);
  if (!std::filesystem::is_regular_file(fileName) || !in.read(magic, 4) || std::string(magic, 4) != "TVX1") {
    std::fprintf(stderr, "%s: %s is not a watermark file\n", kProgram, fileName.c_str());
    return 1;
  }
  try {
    tvx::TLayerCollection layers;
    tvx::Watermark::TWatermarkExif exif;
    tvx::OpenWatermark(fileName, layers, exif);
    std::printf("%s\n", tvx::DescribeWatermark(layers, exif).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: cannot read the watermark %s: %s\n", kProgram, fileName.c_str(), e.what());
    return 1;
  }
}

#if TARVEX_WITH_UI
// Windows need a display; without one (a server, a job runner) the program
// runs headless and never touches the window system.
bool WantWindows(const tvx::TCommandLine& commandLine) {
  if (commandLine.NoGui) return false;
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  // An explicitly chosen platform (offscreen, vnc) needs no display either.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return platform && *platform;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // First of all: a fault anywhere later is recorded and named on standard
  // error. Under the sanitizers their own report says more.
#if defined(__SANITIZE_ADDRESS__)
  tvx::DumpObject().Install(tvx::kVersionText, false);
#else
  tvx::DumpObject().Install(tvx::kVersionText);
#endif
  std::vector<std::string> args(argv + 1, argv + argc);
  tvx::TCommandLine commandLine = tvx::ParseCommandLine(args);
  if (char* cwd = ::getcwd(nullptr, 0)) {
    tvx::ResolveFiles(commandLine, cwd);
    std::free(cwd);
  }
  if (commandLine.Help) {
    PrintUsage();
    return 0;
  }
  if (commandLine.Version) {
    std::printf("%s\n", tvx::kVersionText);
    return 0;
  }
  if (!commandLine.Errors.empty()) {
    for (const std::string& error : commandLine.Errors) std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    std::fprintf(stderr, "See %s --help.\n", kProgram);
    return 2;
  }

  // Both faces run batches. Every picture of a batch needs the same few
  // large blocks (the decoded picture, the plug-in's block). Served from the
  // heap instead of fresh mappings, they are reused from one picture to the
  // next rather than faulted in and zeroed by the kernel every time.
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer brings its own allocator
  mallopt(M_MMAP_THRESHOLD, 512 << 20);
  mallopt(M_TRIM_THRESHOLD, 1024 << 20);
#endif
  // Past a file-size limit (ulimit -f) a write must fail with EFBIG and end
  // the run with a message, not kill the program with a temporary file left.
  ::signal(SIGXFSZ, SIG_IGN);

  if (commandLine.Describe) return Describe(*commandLine.Describe);

#if TARVEX_WITH_UI
  // Saving a composed watermark is a command-line job, done without windows.
  if (!commandLine.SaveWatermark && WantWindows(commandLine)) {
    return tvx::RunWithWindows(argc, argv, commandLine, commandLine.ConfigFile.value_or(""));
  }
#endif

  tvx::InstallInterruptHandler();
  // With --progress jsonl every way out of a run ends with the final object.
  std::optional<tvx::TJsonProgress> json;
  if (commandLine.JsonProgress) {
    // A reader that goes away (a closed pipe) ends the run like Cancel, with
    // nothing partial left, instead of killing the program mid-write.
    ::signal(SIGPIPE, SIG_IGN);
    json.emplace(stdout, tvx::RequestInterrupt);
  }
  tvx::TRunStats stats;
  auto finish = [&](const char* status, int exitStatus, const std::string& error = {}) {
    if (json) json->Final(stats, status, exitStatus, error);
    return exitStatus;
  };
  try {
    tvx::TSession::TOptions options;
    if (commandLine.ConfigFile) options.ConfigFileName = *commandLine.ConfigFile;
    tvx::TSession session(options);
    if (!session.StartupWarning().empty())
      std::fprintf(stderr, "%s: saved styles: %s\n", kProgram, session.StartupWarning().c_str());
    session.Question().SetAsk(tvx::AskOnConsole);
    for (const std::string& notice : session.ApplyCommandLine(commandLine).Notices)
      std::fprintf(stderr, "%s: %s\n", kProgram, notice.c_str());

    if (commandLine.SaveWatermark) {
      if (session.WatermarkIsEmpty()) {
        std::fprintf(stderr, "%s: %s\n", kProgram, tvx::kWatermarkIsEmpty);
        return finish("error", 1, tvx::kWatermarkIsEmpty);
      }
      tvx::SaveWatermark(*commandLine.SaveWatermark, session.Layers(), session.Exif());
      std::fprintf(stderr, "%s: watermark saved to %s\n", kProgram, commandLine.SaveWatermark->c_str());
      if (!commandLine.Run) return 0;
    }

    if (!commandLine.Run) {
      std::fprintf(stderr,
                   "%s: nothing to do without windows; give -r to run the watermarking "
                   "(see %s --help).\n",
                   kProgram, kProgram);
      return 0;
    }

    // There are no windows to show the output settings: the stored ones apply.
    tvx::TOutputSettings settings;
    settings.LoadSettings(session.Config());
    // The command line's output settings hold for this run only.
    const std::string overrideError =
        tvx::ApplyOutputOverrides(commandLine, settings, tvx::OutputFormatNames(session.Plugins().Formats()));
    if (!overrideError.empty()) {
      std::fprintf(stderr, "%s: %s\nSee %s --help.\n", kProgram, overrideError.c_str(), kProgram);
      return finish("error", 2, overrideError);
    }
    const std::string folderError = tvx::CreateOutputFolder(commandLine, settings);
    if (!folderError.empty()) {
      std::fprintf(stderr, "%s: %s\n", kProgram, folderError.c_str());
      return finish("error", 1, folderError);
    }
    if (commandLine.JpegKeepBlocks) settings.JpegKeepBlocks = true;

    tvx::TConsoleProgress progress;
    tvx::TRunOptions run;
    run.Jobs = commandLine.Jobs ? *commandLine.Jobs : tvx::ReadJobs(session.Config());
    run.StopOnError = settings.StopOnError && !commandLine.KeepGoing;
    // An error that ends the run is said once, at the end.
    tvx::TConsoleEvents events(progress, !run.StopOnError, commandLine.DryRun && !json,
                               json ? &*json : nullptr);
    run.DryRun = commandLine.DryRun;
    run.Observer = &events;
    if (commandLine.Shard)
      run.Rows = tvx::ShardRows(session.Images().Paths, commandLine.Shard->Index, commandLine.Shard->Count);
    tvx::TSession::TStart result = session.Watermark(settings, progress, &stats, run);
    progress.Finish();
    switch (result) {
      case tvx::TSession::TStart::NothingToDo:
        std::fprintf(stderr, "Watermarking: %s\n", tvx::kNothingToWatermark);
        return finish("error", 1, tvx::kNothingToWatermark);
      case tvx::TSession::TStart::EmptyWatermark:
        std::fprintf(stderr, "Watermarking: %s\n", tvx::kWatermarkIsEmpty);
        return finish("error", 1, tvx::kWatermarkIsEmpty);
      case tvx::TSession::TStart::Cancelled:
        std::fprintf(stderr, "Watermarking: cancelled after %d picture(s).\n", stats.Written);
        return finish("cancelled", 130);
      case tvx::TSession::TStart::Completed:
        break;
    }
    if (commandLine.DryRun) {
      std::fprintf(stderr, "Watermarking: %d picture(s) planned; nothing was read or written.\n",
                   stats.Planned);
      return finish("completed", 0);
    }
    std::fprintf(stderr, "Watermarking: %s\n", tvx::RunCounts(stats).c_str());
    if (stats.Failed == 0) return finish("completed", 0);
    std::fprintf(stderr, "Failed pictures:\n");
    for (const std::string& line : tvx::FailureLines(stats)) std::fprintf(stderr, "  %s\n", line.c_str());
    return finish("failed", 1);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "\n%s: %s\n", kProgram, e.what());
    return finish("error", 1, e.what());
  }
}
