#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <exception>
#include <functional>
#include <string>

namespace tvx {

/// Texts of the crash report, used exactly as they stand.
inline constexpr const char* kApplicationTitle = "Tarvex";
inline constexpr const char* kVersionText = "2.2";
inline constexpr const char* kCrashTitle = "Error";
inline constexpr const char* kBugReportTitle = "Bug Report";
inline constexpr const char* kReportCopied = "Report copied to the clipboard.";
inline constexpr const char* kSupportMailUrl = "mailto:support@tarvex.example.org?subject=Bug_Report";

/// The question of the crash report box, naming the application.
std::string CrashQuestion(const std::string& applicationTitle = kApplicationTitle);

/// The record of the last error, for the report. One instance serves the
/// program (DumpObject()); tests make their own.
///
/// Message, class and version belong to the user-interface thread. Code and
/// address are also written by the fault handler, from any thread.
class TDumpObject {
 public:
  TDumpObject() = default;
  TDumpObject(const TDumpObject&) = delete;
  TDumpObject& operator=(const TDumpObject&) = delete;

  /// Clears code and address and stores the version; with hookFaults, also
  /// makes this record the target of the process-level fault handler
  /// (InstallFaultHandler).
  void Install(const std::string& version, bool hookFaults = true);

  /// Records the error: its message and its class name, demangled
  /// ("tvx::EError", "std::bad_alloc"); what is not a std::exception keeps
  /// an empty message. A null pointer records nothing.
  void RecordError(std::exception_ptr error);
  /// Records the exception being handled; call it inside a catch block.
  void RecordCurrentException() { RecordError(std::current_exception()); }
  /// Records an error by its parts.
  void RecordError(const std::string& className, const std::string& message);
  /// What the fault handler records: the signal number and the address.
  /// Async-signal-safe.
  void RecordFault(uint64_t code, uint64_t address) noexcept;
  /// Code and address to 0, message and class cleared; the version stays.
  void Reset();

  const std::string& Message() const { return message_; }
  const std::string& ClassName() const { return className_; }
  uint64_t Code() const { return code_.load(); }
  uint64_t Address() const { return address_.load(); }
  const std::string& Version() const { return version_; }

 private:
  std::string message_;
  std::string className_;
  std::atomic<uint64_t> code_{0};
  std::atomic<uint64_t> address_{0};
  std::string version_;
};

/// The program's record.
TDumpObject& DumpObject();

/// The class name of an exception object's type, demangled.
std::string ExceptionClassName(std::exception_ptr error);

/// Installs the handler for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT: it
/// records the signal number and the fault address in target, writes one
/// line to standard error and then lets the signal's default action end the
/// process, so its exit status is the signal's. The handler runs on an
/// alternate stack (for the installing thread), so a stack overflow is
/// reported too.
void InstallFaultHandler(TDumpObject& target);

/// What the report says besides the error: the program file and the system.
/// Numbers that could not be found are -1, texts empty.
struct TReportEnvironment {
  std::string ApplicationTitle = kApplicationTitle;
  int64_t FileSize = -1;
  std::string FileDate;
  std::string OsVersion;
  std::string Processor;
  int64_t RamAvailable = -1, RamTotal = -1;
  int64_t SwapAvailable = -1, SwapTotal = -1;
};

/// The kernel's name as uname gives it.
struct TKernelName {
  std::string SysName, Release, Machine;
};
TKernelName CurrentKernelName();

/// Readers of the system lines. root is the folder that holds etc/, proc/,
/// sys/ and usr/ ("/" on a running system; a fixture folder in tests).
/// "<PRETTY_NAME>, <sysname> <release> <machine>" from os-release and the
/// kernel's name.
std::string ReadOsVersion(const std::string& root, const TKernelName& kernel);
/// From proc/cpuinfo: the model name, or the vendor and an identifier
/// (family, model and stepping; or part, variant and revision), then
/// " (N MHz)" when the clock is known (cpuinfo, else cpufreq's maximum).
std::string ReadProcessor(const std::string& root);
/// From proc/meminfo, in bytes: available and total memory and swap.
void ReadMemory(const std::string& root, TReportEnvironment& environment);
/// Size and modification date ("%x %X" of the current locale) of a file;
/// -1 and empty when it cannot be found.
void ReadProgramFile(const std::string& path, TReportEnvironment& environment);
/// A time in the platform's short date and time format.
std::string FormatFileDate(std::time_t time);

/// Everything, from the running system and /proc/self/exe.
TReportEnvironment ReadReportEnvironment();

/// The report text: one "Label: value" line each, every line ending in
/// "\n", an empty line after "File Date" and after "Exception Address".
/// Code and address are at least 8 upper-case hexadecimal digits.
std::string BuildCrashReport(const TDumpObject& dump, const TReportEnvironment& environment);

/// The user interface of the report; the Qt box implements it, tests record.
struct TCrashReportUi {
  /// The question (with the error's message as detail); true for Yes.
  std::function<bool(const std::string& question, const std::string& detail)> AskToReport;
  std::function<void(const std::string& report)> CopyToClipboard;
  std::function<void(const std::string& url)> OpenUrl;
  std::function<void(const std::string& title, const std::string& text)> ShowInformation;
  /// The environment to report; ReadReportEnvironment when unset.
  std::function<TReportEnvironment()> Environment;
};

/// The report routine: asks; on Yes builds the report, puts it on the
/// clipboard, opens the support mail and says so. In every case the record
/// is reset afterwards. Never raises: a failing step ends the routine.
/// Returns whether the report was made.
bool RunCrashReport(TDumpObject& dump, const TCrashReportUi& ui);

}  // namespace tvx
