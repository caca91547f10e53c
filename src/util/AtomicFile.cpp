#include "util/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <vector>

#include "util/Error.h"

namespace tvx {
namespace {

std::string SystemError() { return std::strerror(errno); }

mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

}  // namespace

TAtomicFile::TAtomicFile(std::string target) : target_(std::move(target)) {
  std::string folder, name = target_;
  if (auto slash = target_.find_last_of('/'); slash != std::string::npos) {
    folder = target_.substr(0, slash + 1);
    name = target_.substr(slash + 1);
  }
  std::string pattern = folder + "." + name + ".tmp-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  fd_ = mkostemp(buffer.data(), O_CLOEXEC);
  if (fd_ < 0) RaiseError("TAtomicFile::Create", 1, "Cannot create a file beside " + target_ + " (" + SystemError() + ")!");
  temp_ = buffer.data();

  struct stat existing;
  mode_t mode = (stat(target_.c_str(), &existing) == 0) ? (existing.st_mode & 07777) : (0666 & ~CurrentUmask());
  fchmod(fd_, mode);
}

TAtomicFile::~TAtomicFile() {
  if (!committed_) Discard();
}

void TAtomicFile::Discard() noexcept {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
}

void TAtomicFile::Write(const void* data, size_t count) {
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    ssize_t n = ::write(fd_, p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) RaiseError("TAtomicFile::Write", 2, "Cannot write " + target_ + " (" + SystemError() + ")!");
    p += n;
    count -= static_cast<size_t>(n);
  }
}

void TAtomicFile::Commit() {
  if (committed_) return;
  bool written = fsync(fd_) == 0;
  std::string why = written ? std::string() : SystemError();
  if (close(fd_) != 0 && written) {
    written = false;
    why = SystemError();
  }
  fd_ = -1;
  if (!written) {
    Discard();
    RaiseError("TAtomicFile::Commit", 3, "Cannot write " + target_ + " (" + why + ")!");
  }
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
    why = SystemError();
    Discard();
    RaiseError("TAtomicFile::Commit", 4, "Cannot replace " + target_ + " (" + why + ")!");
  }
  committed_ = true;
}

void WriteFileAtomically(const std::string& path, const void* data, size_t count) {
  TAtomicFile file(path);
  file.Write(data, count);
  file.Commit();
}

}  // namespace tvx
