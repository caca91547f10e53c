#include "app/CrashReport.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include <filesystem>
#include <map>
#include <new>
#include <sstream>

#include "support/TestSupport.h"
#include "util/Error.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos) + "<no line break>");
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

// "Label: value" lines back into a map, the empty lines as their positions.
std::map<std::string, std::string> Fields(const std::string& text) {
  std::map<std::string, std::string> fields;
  for (const std::string& line : Lines(text)) {
    const size_t colon = line.find(": ");
    if (colon != std::string::npos) fields[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return fields;
}

TReportEnvironment FixedEnvironment() {
  TReportEnvironment e;
  e.FileSize = 1234567;
  e.FileDate = "12/09/26 08:38:00";
  e.OsVersion = "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64 x86_64";
  e.Processor = "Intel(R) Xeon(R) CPU (2400 MHz)";
  e.RamAvailable = 1000;
  e.RamTotal = 4000;
  e.SwapAvailable = 0;
  e.SwapTotal = 0;
  return e;
}

TEST(CrashReport, TheReportIsLaidOutLineByLine) {
  TDumpObject dump;
  dump.Install("2.2", false);
  try {
    RaiseError("TPluginManager::LoadBitmapA", 194, "Unsupported file plugin!");
  } catch (...) {
    dump.RecordCurrentException();
  }
  const std::string report = BuildCrashReport(dump, FixedEnvironment());
  EXPECT_EQ(Lines(report),
            (std::vector<std::string>{
                "Application: Tarvex",
                "Version: 2.2",
                "File Size: 1234567",
                "File Date: 12/09/26 08:38:00",
                "",
                "Exception Message: TPluginManager::LoadBitmapA::194 - Unsupported file plugin!",
                "Exception Class: tvx::EError",
                "Exception Code: 00000000",
                "Exception Address: 00000000",
                "",
                "OS Version: Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64 x86_64",
                "Processor: Intel(R) Xeon(R) CPU (2400 MHz)",
                "RAM: 1000 / 4000",
                "Swap: 0 / 0",
            }));
}

struct THexCase {
  uint64_t Code, Address;
  const char* CodeText;
  const char* AddressText;
};

class CrashReportHex : public ::testing::TestWithParam<THexCase> {};

TEST_P(CrashReportHex, CodesAndAddressesAreAtLeastEightUpperCaseDigits) {
  TDumpObject dump;
  dump.RecordFault(GetParam().Code, GetParam().Address);
  const auto fields = Fields(BuildCrashReport(dump, FixedEnvironment()));
  EXPECT_EQ(fields.at("Exception Code"), GetParam().CodeText);
  EXPECT_EQ(fields.at("Exception Address"), GetParam().AddressText);
}

INSTANTIATE_TEST_SUITE_P(Values, CrashReportHex,
                         ::testing::Values(THexCase{0, 0, "00000000", "00000000"},
                                           THexCase{11, 0x10, "0000000B", "00000010"},
                                           THexCase{6, 0xdeadbeef, "00000006", "DEADBEEF"},
                                           THexCase{7, 0x7ffd12345678, "00000007", "7FFD12345678"},
                                           THexCase{8, ~0ull, "00000008", "FFFFFFFFFFFFFFFF"}));

namespace custom {
struct TOddError {};
}  // namespace custom

TEST(CrashReport, ErrorsAreRecordedWithTheirDemangledClass) {
  struct TCase {
    std::exception_ptr Error;
    const char* ClassName;
    const char* Message;
  };
  const TCase cases[] = {
      {std::make_exception_ptr(EError("Open::149 - Unknown version (2)!")), "tvx::EError",
       "Open::149 - Unknown version (2)!"},
      {std::make_exception_ptr(std::bad_alloc()), "std::bad_alloc", "std::bad_alloc"},
      {std::make_exception_ptr(std::out_of_range("vector")), "std::out_of_range", "vector"},
      {std::make_exception_ptr(custom::TOddError()), "tvx::(anonymous namespace)::custom::TOddError", ""},
      {std::make_exception_ptr(42), "int", ""},
  };
  for (const TCase& c : cases) {
    TDumpObject dump;
    dump.RecordError(c.Error);
    EXPECT_EQ(dump.ClassName(), c.ClassName);
    EXPECT_EQ(dump.Message(), c.Message);
  }
  TDumpObject dump;
  dump.RecordError(nullptr);
  EXPECT_EQ(dump.ClassName(), "");
}

// The user interface as a recorder.
struct TRecordingUi {
  bool Answer = true;
  bool FailClipboard = false;
  std::vector<std::string> Questions, Details, Clipboard, Urls, Notices;
  TCrashReportUi Ui() {
    TCrashReportUi ui;
    ui.AskToReport = [this](const std::string& q, const std::string& d) {
      Questions.push_back(q);
      Details.push_back(d);
      return Answer;
    };
    ui.CopyToClipboard = [this](const std::string& r) {
      if (FailClipboard) throw std::runtime_error("no clipboard");
      Clipboard.push_back(r);
    };
    ui.OpenUrl = [this](const std::string& u) { Urls.push_back(u); };
    ui.ShowInformation = [this](const std::string& t, const std::string& x) {
      Notices.push_back(t + "|" + x);
    };
    ui.Environment = [] { return FixedEnvironment(); };
    return ui;
  }
};

TEST(CrashReport, TwoErrorsInARowGiveTwoReportsEachWithOnlyItsOwnError) {
  TDumpObject dump;
  dump.Install("2.2", false);
  TRecordingUi ui;
  dump.RecordError(std::make_exception_ptr(EError("First::1 - first!")));
  dump.RecordFault(11, 0x20);  // left by a hook that let the program go on
  EXPECT_TRUE(RunCrashReport(dump, ui.Ui()));
  dump.RecordError(std::make_exception_ptr(std::bad_alloc()));
  EXPECT_TRUE(RunCrashReport(dump, ui.Ui()));

  ASSERT_EQ(ui.Clipboard.size(), 2u);
  EXPECT_EQ(ui.Details, (std::vector<std::string>{"First::1 - first!", "std::bad_alloc"}));
  const auto first = Fields(ui.Clipboard[0]);
  EXPECT_EQ(first.at("Exception Message"), "First::1 - first!");
  EXPECT_EQ(first.at("Exception Code"), "0000000B");
  const auto second = Fields(ui.Clipboard[1]);
  EXPECT_EQ(second.at("Exception Message"), "std::bad_alloc");
  EXPECT_EQ(second.at("Exception Class"), "std::bad_alloc");
  EXPECT_EQ(second.at("Exception Code"), "00000000");
  EXPECT_EQ(second.at("Exception Address"), "00000000");
  EXPECT_EQ(second.at("Version"), "2.2");
  EXPECT_EQ(ui.Urls, (std::vector<std::string>(2, "mailto:support@tarvex.example.org?subject=Bug_Report")));
  EXPECT_EQ(ui.Notices, (std::vector<std::string>(2, "Bug Report|Report copied to the clipboard.")));
  EXPECT_EQ(dump.Message(), "");
  EXPECT_EQ(dump.Version(), "2.2");
}

TEST(CrashReport, NoDoesNothingMoreButStillResets) {
  TDumpObject dump;
  TRecordingUi ui;
  ui.Answer = false;
  dump.RecordError(std::make_exception_ptr(EError("X::1 - x")));
  EXPECT_FALSE(RunCrashReport(dump, ui.Ui()));
  EXPECT_EQ(ui.Questions.size(), 1u);
  EXPECT_TRUE(ui.Clipboard.empty() && ui.Urls.empty() && ui.Notices.empty());
  EXPECT_EQ(dump.Message(), "");
  EXPECT_EQ(dump.ClassName(), "");
}

TEST(CrashReport, AFailingStepEndsTheRoutineWithoutRaising) {
  TDumpObject dump;
  TRecordingUi ui;
  ui.FailClipboard = true;
  dump.RecordError(std::make_exception_ptr(EError("X::1 - x")));
  EXPECT_NO_THROW(EXPECT_FALSE(RunCrashReport(dump, ui.Ui())));
  EXPECT_TRUE(ui.Urls.empty());
  EXPECT_EQ(dump.Message(), "");
  // and one without any user interface at all
  dump.RecordError(std::make_exception_ptr(EError("X::2 - y")));
  EXPECT_FALSE(RunCrashReport(dump, TCrashReportUi{}));
}

// ---- the system lines from fixture folders ------------------------------------

void Write(const fs::path& root, const std::string& relative, const std::string& text) {
  fs::create_directories((root / relative).parent_path());
  test::WriteFileBytes(root / relative, text);
}

const TKernelName kKernel{"Linux", "6.1.0-18-amd64", "x86_64"};

TEST(CrashReport, TheOsLineJoinsTheDistributionAndTheKernel) {
  struct TCase {
    const char* File;
    const char* Text;
    const char* Expected;
  };
  const TCase cases[] = {
      {"etc/os-release",
       "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n",
       "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64 x86_64"},
      {"usr/lib/os-release", "PRETTY_NAME='Fedora Linux 39'\n",
       "Fedora Linux 39, Linux 6.1.0-18-amd64 x86_64"},
      {"etc/os-release", "NAME=Alpine\n", "Alpine, Linux 6.1.0-18-amd64 x86_64"},
      {"etc/os-release", "PRETTY_NAME=\"Say \\\"hi\\\"\"\n", "Say \"hi\", Linux 6.1.0-18-amd64 x86_64"},
      {"nothing", "", "Linux 6.1.0-18-amd64 x86_64"},
  };
  for (const TCase& c : cases) {
    test::TTempDir root;
    Write(root.Path(), c.File, c.Text);
    EXPECT_EQ(ReadOsVersion(root.Path().string(), kKernel), c.Expected) << c.Text;
  }
}

TEST(CrashReport, TheProcessorLineComesFromCpuinfo) {
  struct TCase {
    const char* CpuInfo;
    const char* MaxFreqKHz;  // null: no cpufreq
    const char* Expected;
  };
  const TCase cases[] = {
      {"processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 85\n"
       "model name\t: Intel(R) Xeon(R) Gold 6148 CPU @ 2.40GHz\nstepping\t: 4\ncpu MHz\t\t: 2399.998\n\n"
       "processor\t: 1\nmodel name\t: Other\ncpu MHz\t\t: 1000.000\n",
       nullptr, "Intel(R) Xeon(R) Gold 6148 CPU @ 2.40GHz (2399 MHz)"},
      {"processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu family\t: 23\nmodel\t\t: 49\nstepping\t: 0\n"
       "cpu MHz\t\t: 2994.372\n",
       nullptr, "AuthenticAMD Family 23 Model 49 Stepping 0 (2994 MHz)"},
      {"processor\t: 0\nBogoMIPS\t: 50.00\nCPU implementer\t: 0x41\nCPU architecture: 8\nCPU variant\t: 0x3\n"
       "CPU part\t: 0xd0c\nCPU revision\t: 1\n",
       "2600000\n", "0x41 Part 0xd0c Variant 0x3 Revision 1 (2600 MHz)"},
      {"processor\t: 0\nmodel name\t: ARMv7 Processor rev 4 (v7l)\n", nullptr, "ARMv7 Processor rev 4 (v7l)"},
      {"", nullptr, ""},
  };
  for (const TCase& c : cases) {
    test::TTempDir root;
    Write(root.Path(), "proc/cpuinfo", c.CpuInfo);
    if (c.MaxFreqKHz)
      Write(root.Path(), "sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", c.MaxFreqKHz);
    EXPECT_EQ(ReadProcessor(root.Path().string()), c.Expected);
  }
}

TEST(CrashReport, MemoryAndSwapAreReportedInBytes) {
  test::TTempDir root;
  Write(root.Path(), "proc/meminfo",
        "MemTotal:       16303196 kB\nMemFree:          509616 kB\nMemAvailable:    9913348 kB\n"
        "SwapCached:            0 kB\nSwapTotal:       1000000 kB\nSwapFree:         999999 kB\n");
  TReportEnvironment e;
  ReadMemory(root.Path().string(), e);
  EXPECT_EQ(e.RamTotal, 16303196ll * 1024);
  EXPECT_EQ(e.RamAvailable, 9913348ll * 1024);
  EXPECT_EQ(e.SwapTotal, 1000000ll * 1024);
  EXPECT_EQ(e.SwapAvailable, 999999ll * 1024);
  EXPECT_EQ(Fields(BuildCrashReport(TDumpObject(), e)).at("RAM"),
            std::to_string(9913348ll * 1024) + " / " + std::to_string(16303196ll * 1024));

  // an old kernel without MemAvailable; then no meminfo at all
  Write(root.Path(), "proc/meminfo", "MemTotal: 2048 kB\nMemFree: 1024 kB\n");
  TReportEnvironment old;
  ReadMemory(root.Path().string(), old);
  EXPECT_EQ(old.RamAvailable, 1024 * 1024);
  EXPECT_EQ(old.SwapTotal, -1);
  TReportEnvironment none;
  ReadMemory((root.Path() / "missing").string(), none);
  EXPECT_EQ(none.RamTotal, -1);
}

TEST(CrashReport, TheRunningSystemIsDescribed) {
  const TReportEnvironment e = ReadReportEnvironment();
  EXPECT_EQ(e.FileSize, static_cast<int64_t>(fs::file_size("/proc/self/exe")));
  EXPECT_FALSE(e.FileDate.empty());
  EXPECT_GT(e.RamTotal, 0);
  EXPECT_GE(e.RamAvailable, 0);
  struct utsname name {};
  uname(&name);
  EXPECT_NE(e.OsVersion.find(name.release), std::string::npos) << e.OsVersion;
  EXPECT_FALSE(e.Processor.empty());

  TReportEnvironment missing;
  ReadProgramFile("/no/such/program", missing);
  EXPECT_EQ(missing.FileSize, -1);
  EXPECT_EQ(missing.FileDate, "");
}

// ---- the process-level hook, in child processes ---------------------------------

int gDepth = 0;
int Recurse(volatile char* previous) {
  volatile char frame[4096];
  frame[0] = previous ? previous[0] : 1;
  if (++gDepth > (1 << 30)) return 0;  // never: the stack ends long before
  return Recurse(frame) + frame[100];  // not a tail call
}

void Crash(int how) {
  // no core files from these
  struct rlimit none {
    0, 0
  };
  setrlimit(RLIMIT_CORE, &none);
  DumpObject().Install("2.2");
  volatile uintptr_t address = 0x10;  // hidden from the compiler's bounds checks
  switch (how) {
    case 0:
      *reinterpret_cast<volatile int*>(address) = 1;
      break;
    case 1:
      raise(SIGBUS);
      break;
    case 2:
      raise(SIGFPE);
      break;
    case 3:
      __builtin_trap();
      break;
    case 4:
      abort();
    case 5:
      Recurse(nullptr);
      break;
  }
}

struct TCrashCase {
  int How;
  int Signal;
  const char* Line;
};

class CrashReportFault : public ::testing::TestWithParam<TCrashCase> {};

TEST_P(CrashReportFault, TheChildEndsWithItsSignalAfterOneLineOnStandardError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(Crash(GetParam().How), ::testing::KilledBySignal(GetParam().Signal), GetParam().Line);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, CrashReportFault,
    ::testing::Values(
        TCrashCase{0, SIGSEGV, "^Tarvex 2\\.2: fatal signal 11 \\(SIGSEGV\\) at address 00000010\n$"},
        TCrashCase{1, SIGBUS, "^Tarvex 2\\.2: fatal signal 7 \\(SIGBUS\\) at address 00000000\n$"},
        TCrashCase{2, SIGFPE, "^Tarvex 2\\.2: fatal signal 8 \\(SIGFPE\\) at address 00000000\n$"},
        TCrashCase{3, SIGILL, "^Tarvex 2\\.2: fatal signal 4 \\(SIGILL\\) at address [0-9A-F]{8,16}\n$"},
        TCrashCase{4, SIGABRT, "^Tarvex 2\\.2: fatal signal 6 \\(SIGABRT\\) at address 00000000\n$"},
        TCrashCase{5, SIGSEGV, "^Tarvex 2\\.2: fatal signal 11 \\(SIGSEGV\\) at address [0-9A-F]{8,16}\n$"}));

}  // namespace
}  // namespace tvx
