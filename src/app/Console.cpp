#include "app/Console.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "util/Paths.h"

namespace tvx {
namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int signal) {
  if (g_interrupted.exchange(true)) {
    // Asked twice: stop now. Outputs are written under temporary names, so
    // no file is left truncated under its final name.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
  }
}

int TerminalWidth() {
  const char* columns = std::getenv("COLUMNS");
  int width = columns ? std::atoi(columns) : 0;
  return width > 20 ? width : 80;
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() { return g_interrupted.load(); }

void RequestInterrupt() { g_interrupted.store(true); }

TConsoleProgress::TConsoleProgress() : terminal_(isatty(STDERR_FILENO) == 1) {}

TConsoleProgress::~TConsoleProgress() { Finish(); }

void TConsoleProgress::Begin(const std::string& label, int32_t maximum) {
  label_ = label;
  maximum_ = std::max(maximum, 1);
  position_ = 0;
  if (!terminal_) std::fprintf(stderr, "%s\n", label_.c_str());
  Draw();
}

bool TConsoleProgress::AdvanceAndCheckCancel(int32_t n) {
  position_ += n;
  Draw();
  return Interrupted();
}

void TConsoleProgress::AtFile(int32_t index, int32_t count, const std::string& path) {
  file_ = path;
  if (!terminal_) std::fprintf(stderr, "[%d/%d] %s\n", index, count, path.c_str());
  Draw();
}

void TConsoleProgress::Message(const std::string& text) {
  if (terminal_ && drawn_) std::fprintf(stderr, "\r\033[K");
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  drawn_ = false;
  Draw();
}

void TConsoleProgress::Detail(const std::string& text) {
  if (!terminal_) std::fprintf(stderr, "  %s\n", text.c_str());
}

std::string PathLine(const TPictureEvent& event) {
  if (event.Path == "blocks")
    return "kept the JPEG's blocks, " + std::to_string(event.UnitsRedrawn) + " of " +
           std::to_string(event.Units) + " MCUs redrawn (" + event.PathReason + ")";
  return "whole picture drawn and encoded (" + event.PathReason + ")";
}

void TConsoleEvents::PictureDone(const TPictureEvent& event) {
  if (event.Status == TPictureStatus::Failed && printFailures_) progress_.Message("tarvex: " + event.Error);
  if (!event.Path.empty()) progress_.Detail(PathLine(event));
  if (event.Status == TPictureStatus::Planned && printPlan_) {
    std::printf("%s: %s%s%s\n", event.Decision.c_str(), event.Source.c_str(),
                event.Output.empty() ? "" : " -> ", event.Output.c_str());
    std::fflush(stdout);
  }
  if (next_) next_->PictureDone(event);
}

void TConsoleProgress::Draw() {
  if (!terminal_ || maximum_ == 0) return;
  int width = TerminalWidth();
  int barWidth = std::clamp(width / 3, 10, 40);
  int filled = static_cast<int>(static_cast<int64_t>(barWidth) * std::min(position_, maximum_) / maximum_);
  int percent = static_cast<int>(100LL * std::min(position_, maximum_) / maximum_);
  std::string name = ExtractFileName(file_);
  int room = width - barWidth - 10;
  if (room < 0) room = 0;
  if (static_cast<int>(name.size()) > room) name = name.substr(0, static_cast<size_t>(room));
  std::fprintf(stderr, "\r[%s%s] %3d%% %s\033[K", std::string(static_cast<size_t>(filled), '#').c_str(),
               std::string(static_cast<size_t>(barWidth - filled), ' ').c_str(), percent, name.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void TConsoleProgress::Finish() {
  if (terminal_ && drawn_) std::fprintf(stderr, "\n");
  drawn_ = false;
}

TAnswer AskOnConsole(const std::string& title, const std::string& question) {
  if (isatty(STDIN_FILENO) != 1) {
    std::fprintf(stderr, "\n%s: %s No (skipped; no terminal to ask)\n", title.c_str(), question.c_str());
    return TAnswer::No;
  }
  for (;;) {
    std::fprintf(stderr, "\n%s: %s [y]es, [n]o, [c]ancel, yes to [a]ll, n[o] to all: ", title.c_str(),
                 question.c_str());
    std::fflush(stderr);
    std::string line;
    if (!std::getline(std::cin, line)) return TAnswer::Cancel;
    if (Interrupted()) return TAnswer::Cancel;
    std::string a;
    for (char c : line)
      if (!std::isspace(static_cast<unsigned char>(c))) a += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (a == "y" || a == "yes") return TAnswer::Yes;
    if (a == "n" || a == "no") return TAnswer::No;
    if (a == "c" || a == "cancel") return TAnswer::Cancel;
    if (a == "a" || a == "yestoall" || a == "all") return TAnswer::YesToAll;
    if (a == "o" || a == "notoall" || a == "none") return TAnswer::NoToAll;
  }
}

}  // namespace tvx
