#include "app/CrashReport.h"

#include <cxxabi.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <typeinfo>

#include "util/Utils.h"

namespace tvx {
namespace {

std::string Demangle(const char* name) {
  if (!name) return {};
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> demangled(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                                        &std::free);
  return status == 0 && demangled ? std::string(demangled.get()) : std::string(name);
}

std::string Trim(const std::string& s) {
  const size_t begin = s.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  const size_t end = s.find_last_not_of(" \t\r\n");
  return s.substr(begin, end - begin + 1);
}

std::string JoinRoot(const std::string& root, const char* relative) {
  if (root.empty()) return relative;
  return root.back() == '/' ? root + relative : root + "/" + relative;
}

bool ReadText(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// os-release: KEY=value, the value possibly quoted with shell escapes.
std::string OsReleaseValue(const std::string& text, const std::string& key) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
    std::string value = line.substr(key.size() + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      const char quote = value.front();
      value = value.substr(1, value.size() - 2);
      if (quote == '"') {
        std::string plain;
        for (size_t i = 0; i < value.size(); ++i) {
          if (value[i] == '\\' && i + 1 < value.size()) ++i;
          plain += value[i];
        }
        value = plain;
      }
    }
    return value;
  }
  return {};
}

// The first value of each key of /proc/cpuinfo ("key<tabs>: value").
std::map<std::string, std::string> CpuInfoFields(const std::string& text) {
  std::map<std::string, std::string> fields;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    fields.emplace(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
  }
  return fields;
}

std::string Field(const std::map<std::string, std::string>& fields, const char* key) {
  auto it = fields.find(key);
  return it == fields.end() ? std::string() : it->second;
}

// "  12345 kB" as bytes; -1 when it does not read.
int64_t KiloBytes(const std::string& value) {
  char* end = nullptr;
  errno = 0;
  const long long n = std::strtoll(value.c_str(), &end, 10);
  if (end == value.c_str() || errno != 0 || n < 0) return -1;
  return static_cast<int64_t>(n) * 1024;
}

std::string Hex(uint64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%08" PRIX64, value);
  return buffer;
}

// ---- the fault handler: async-signal-safe code only -------------------------

std::atomic<TDumpObject*> gFaultTarget{nullptr};
char gFaultPrefix[64] = "Tarvex";  // "Tarvex <version>", written before any handler is installed

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

const char* SignalName(int signo) {
  switch (signo) {
    case SIGSEGV:
      return "SIGSEGV";
    case SIGBUS:
      return "SIGBUS";
    case SIGFPE:
      return "SIGFPE";
    case SIGILL:
      return "SIGILL";
    case SIGABRT:
      return "SIGABRT";
    default:
      return "signal";
  }
}

// Appends text to line at *length, keeping within size.
void Append(char* line, size_t size, size_t* length, const char* text) {
  while (*text && *length + 1 < size) line[(*length)++] = *text++;
}

void AppendDecimal(char* line, size_t size, size_t* length, uint64_t value) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  char text[24];
  for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  text[n] = '\0';
  Append(line, size, length, text);
}

void AppendHex(char* line, size_t size, size_t* length, uint64_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  char text[17];
  int n = 16;
  while (n > 8 && ((value >> (4 * (n - 1))) & 0xF) == 0) --n;  // at least 8 digits
  for (int i = 0; i < n; ++i) text[i] = kDigits[(value >> (4 * (n - 1 - i))) & 0xF];
  text[n] = '\0';
  Append(line, size, length, text);
}

void FaultHandler(int signo, siginfo_t* info, void*) {
  const int savedErrno = errno;
  // Only faults the kernel raised carry an address; a signal sent by kill,
  // raise or abort carries the sender's ids in the same place.
  const uint64_t address =
      info && info->si_code > 0 && signo != SIGABRT ? reinterpret_cast<uintptr_t>(info->si_addr) : 0;
  if (TDumpObject* target = gFaultTarget.load()) target->RecordFault(static_cast<uint64_t>(signo), address);

  char line[160];
  size_t length = 0;
  Append(line, sizeof line, &length, gFaultPrefix);
  Append(line, sizeof line, &length, ": fatal signal ");
  AppendDecimal(line, sizeof line, &length, static_cast<uint64_t>(signo));
  Append(line, sizeof line, &length, " (");
  Append(line, sizeof line, &length, SignalName(signo));
  Append(line, sizeof line, &length, ") at address ");
  AppendHex(line, sizeof line, &length, address);
  Append(line, sizeof line, &length, "\n");
  ssize_t written = write(STDERR_FILENO, line, length);
  (void)written;

  // The default action ends the process with the signal as its status.
  signal(signo, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signo);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signo);
  errno = savedErrno;
  _exit(128 + signo);  // only when the signal is ignored after all
}

}  // namespace

std::string CrashQuestion(const std::string& applicationTitle) {
  return "We are sorry, but " + applicationTitle +
         " raised an exception.\n"
         "We would be very thankful if you let us know about this problem. If you answer 'YES' we\n"
         "will start your email client and copy problem report to the clipboard, so you need just\n"
         "to paste it in the message. Thank you.";
}

// ---- TDumpObject ------------------------------------------------------------

void TDumpObject::Install(const std::string& version, bool hookFaults) {
  code_ = 0;
  address_ = 0;
  version_ = version;
  if (hookFaults) InstallFaultHandler(*this);
}

void TDumpObject::RecordError(std::exception_ptr error) {
  if (!error) return;
  className_ = ExceptionClassName(error);
  message_.clear();
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    message_ = e.what();
  } catch (...) {
  }
}

void TDumpObject::RecordError(const std::string& className, const std::string& message) {
  className_ = className;
  message_ = message;
}

void TDumpObject::RecordFault(uint64_t code, uint64_t address) noexcept {
  code_ = code;
  address_ = address;
}

void TDumpObject::Reset() {
  code_ = 0;
  address_ = 0;
  message_.clear();
  className_.clear();
}

TDumpObject& DumpObject() {
  static TDumpObject dump;
  return dump;
}

std::string ExceptionClassName(std::exception_ptr error) {
  if (!error) return {};
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    // The dynamic type: a tvx::EError caught as std::exception is named so.
    return Demangle(typeid(e).name());
  } catch (...) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    return type ? Demangle(type->name()) : std::string();
  }
}

void InstallFaultHandler(TDumpObject& target) {
  // The line's prefix is composed now: the handler may not allocate.
  const std::string prefix = std::string(kApplicationTitle) + " " + target.Version();
  std::snprintf(gFaultPrefix, sizeof gFaultPrefix, "%s", prefix.c_str());
  gFaultTarget = &target;

  // A stack overflow leaves no stack to run the handler on.
  static char alternateStack[64 * 1024];
  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_sigaction = FaultHandler;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int signo : kFaultSignals) sigaction(signo, &action, nullptr);
}

// ---- the system lines ---------------------------------------------------------

TKernelName CurrentKernelName() {
  struct utsname name {};
  if (uname(&name) != 0) return {};
  return TKernelName{name.sysname, name.release, name.machine};
}

std::string ReadOsVersion(const std::string& root, const TKernelName& kernel) {
  std::string text, distribution;
  if (ReadText(JoinRoot(root, "etc/os-release"), text) ||
      ReadText(JoinRoot(root, "usr/lib/os-release"), text)) {
    distribution = OsReleaseValue(text, "PRETTY_NAME");
    if (distribution.empty()) distribution = OsReleaseValue(text, "NAME");
  }
  std::string kernelText = kernel.SysName;
  for (const std::string* part : {&kernel.Release, &kernel.Machine})
    if (!part->empty()) kernelText += (kernelText.empty() ? "" : " ") + *part;
  if (distribution.empty()) return kernelText;
  return kernelText.empty() ? distribution : distribution + ", " + kernelText;
}

std::string ReadProcessor(const std::string& root) {
  std::string text;
  ReadText(JoinRoot(root, "proc/cpuinfo"), text);
  const auto fields = CpuInfoFields(text);
  std::string processor = Field(fields, "model name");
  if (processor.empty()) {
    std::string vendor = Field(fields, "vendor_id");
    std::string identifier;
    if (!vendor.empty()) {
      identifier = "Family " + Field(fields, "cpu family") + " Model " + Field(fields, "model") +
                   " Stepping " + Field(fields, "stepping");
    } else if (!(vendor = Field(fields, "CPU implementer")).empty()) {
      identifier = "Part " + Field(fields, "CPU part") + " Variant " + Field(fields, "CPU variant") +
                   " Revision " + Field(fields, "CPU revision");
    }
    processor = identifier.empty() ? vendor : vendor + " " + identifier;
  }

  int64_t megahertz = -1;
  const std::string clock = Field(fields, "cpu MHz");
  if (!clock.empty()) {
    char* end = nullptr;
    const double value = std::strtod(clock.c_str(), &end);
    if (end != clock.c_str() && value > 0) megahertz = static_cast<int64_t>(value);
  }
  if (megahertz < 0) {
    std::string khz;
    if (ReadText(JoinRoot(root, "sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq"), khz)) {
      const long long value = std::atoll(Trim(khz).c_str());
      if (value > 0) megahertz = value / 1000;
    }
  }
  if (megahertz > 0 && !processor.empty()) processor += " (" + std::to_string(megahertz) + " MHz)";
  return processor;
}

void ReadMemory(const std::string& root, TReportEnvironment& environment) {
  std::string text;
  if (!ReadText(JoinRoot(root, "proc/meminfo"), text)) return;
  const auto fields = CpuInfoFields(text);  // the same "Key: value" shape
  auto bytes = [&](const char* key) {
    const std::string value = Field(fields, key);
    return value.empty() ? int64_t{-1} : KiloBytes(value);
  };
  environment.RamTotal = bytes("MemTotal");
  environment.RamAvailable = bytes("MemAvailable");
  // Kernels before 3.14 have no estimate of what is available.
  if (environment.RamAvailable < 0) environment.RamAvailable = bytes("MemFree");
  environment.SwapTotal = bytes("SwapTotal");
  environment.SwapAvailable = bytes("SwapFree");
}

std::string FormatFileDate(std::time_t time) {
  std::tm local{};
  if (!localtime_r(&time, &local)) return {};
  char buffer[128];
  const size_t n = std::strftime(buffer, sizeof buffer, "%x %X", &local);
  return std::string(buffer, n);
}

void ReadProgramFile(const std::string& path, TReportEnvironment& environment) {
  environment.FileSize = GetFileSizeOf(path);
  struct stat st;
  environment.FileDate = stat(path.c_str(), &st) == 0 ? FormatFileDate(st.st_mtime) : std::string();
}

TReportEnvironment ReadReportEnvironment() {
  TReportEnvironment environment;
  ReadProgramFile("/proc/self/exe", environment);
  environment.OsVersion = ReadOsVersion("/", CurrentKernelName());
  environment.Processor = ReadProcessor("/");
  ReadMemory("/", environment);
  return environment;
}

std::string BuildCrashReport(const TDumpObject& dump, const TReportEnvironment& environment) {
  std::string r;
  r += "Application: " + environment.ApplicationTitle + "\n";
  r += "Version: " + dump.Version() + "\n";
  r += "File Size: " + std::to_string(environment.FileSize) + "\n";
  r += "File Date: " + environment.FileDate + "\n";
  r += "\n";
  r += "Exception Message: " + dump.Message() + "\n";
  r += "Exception Class: " + dump.ClassName() + "\n";
  r += "Exception Code: " + Hex(dump.Code()) + "\n";
  r += "Exception Address: " + Hex(dump.Address()) + "\n";
  r += "\n";
  r += "OS Version: " + environment.OsVersion + "\n";
  r += "Processor: " + environment.Processor + "\n";
  r += "RAM: " + std::to_string(environment.RamAvailable) + " / " + std::to_string(environment.RamTotal) +
       "\n";
  r += "Swap: " + std::to_string(environment.SwapAvailable) + " / " + std::to_string(environment.SwapTotal) +
       "\n";
  return r;
}

bool RunCrashReport(TDumpObject& dump, const TCrashReportUi& ui) {
  bool reported = false;
  try {
    const std::string title = kApplicationTitle;
    if (ui.AskToReport && ui.AskToReport(CrashQuestion(title), dump.Message())) {
      const TReportEnvironment environment = ui.Environment ? ui.Environment() : ReadReportEnvironment();
      const std::string report = BuildCrashReport(dump, environment);
      if (ui.CopyToClipboard) ui.CopyToClipboard(report);
      if (ui.OpenUrl) ui.OpenUrl(kSupportMailUrl);
      if (ui.ShowInformation) ui.ShowInformation(kBugReportTitle, kReportCopied);
      reported = true;
    }
  } catch (...) {
    // The report is the last resort for errors; it must not raise one.
  }
  dump.Reset();
  return reported;
}

}  // namespace tvx
