#include "util/AtomicFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "util/Error.h"
#include "util/Paths.h"

namespace tvx {
namespace {

std::string SystemError() { return std::strerror(errno); }

// Six characters for a temporary name, as mkstemp draws them.
std::string RandomLetters() {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[6];
  if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    uint64_t seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                    (static_cast<uint64_t>(getpid()) << 32);
    for (unsigned char& b : bytes) {
      seed = seed * 6364136223846793005u + 1442695040888963407u;
      b = static_cast<unsigned char>(seed >> 56);
    }
  }
  std::string letters;
  for (unsigned char b : bytes) letters.push_back(kLetters[b % (sizeof kLetters - 1)]);
  return letters;
}

// At most `room` bytes of name, not cut inside a UTF-8 sequence.
std::string Shortened(const std::string& name, size_t room) {
  if (name.size() <= room) return name;
  size_t end = room;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

// Creates the file exclusively, never through a link, with mode 0666 so
// that the umask (and a folder's default ACL) decide what a new file gets.
int CreateTemporary(const std::string& folder, const std::string& name, const char* kind,
                    const std::string& ext, std::string& path) {
  const size_t fixed = 1 + std::strlen(kind) + 6 + ext.size();  // ".", kind, letters, extension
  const std::string stem = folder + "." + Shortened(name, NAME_MAX > fixed ? NAME_MAX - fixed : 0) + kind;
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = stem + RandomLetters() + ext;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Renames only when nothing is at `to`; false with errno EEXIST when
// something is. File systems without the kernel's no-replace rename take a
// hard link (which never replaces either); the last resort, for those that
// have neither, checks and renames, which leaves a short window.
bool RenameIfFree(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return std::rename(from.c_str(), to.c_str()) == 0;
}

void SyncFolder(const std::string& folder) {
  int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  fsync(dir);  // a file system that cannot sync folders has nothing more to give
  close(dir);
}

}  // namespace

std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int links = 0; links <= 40; ++links) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string text(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : PATH_MAX, '\0');
    for (;;) {
      ssize_t n = readlink(current.c_str(), text.data(), text.size());
      if (n < 0) return current;  // gone meanwhile: the name itself is the target
      if (static_cast<size_t>(n) < text.size()) {
        text.resize(static_cast<size_t>(n));
        break;
      }
      text.resize(text.size() * 2);
    }
    current = !text.empty() && text.front() == '/' ? text : ExtractFilePath(current) + text;
  }
  RaiseError("FollowLinks", 1, "Too many symbolic links at " + path + "!");
}

TAtomicFile::TAtomicFile(std::string target, TTempName naming) : target_(std::move(target)) {
  replaced_ = FollowLinks(target_);
  const bool keepExt = naming == TTempName::KeepExtension;
  fd_ = CreateTemporary(ExtractFilePath(replaced_), ExtractFileName(replaced_), keepExt ? ".part-" : ".tmp-",
                        keepExt ? ExtractFileExt(target_) : std::string(), temp_);
  if (fd_ < 0) {
    const std::string why = SystemError();
    temp_.clear();
    RaiseError("TAtomicFile::Create", 1, "Cannot create a file beside " + target_ + " (" + why + ")!");
  }
  struct stat created;
  newMode_ = fstat(fd_, &created) == 0 ? (created.st_mode & 07777) : 0600;
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
  if (fd_ < 0) RaiseError("TAtomicFile::Write", 2, "Cannot write " + target_ + " (closed)!");
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    ssize_t n = ::write(fd_, p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) RaiseError("TAtomicFile::Write", 2, "Cannot write " + target_ + " (" + SystemError() + ")!");
    p += n;
    count -= static_cast<size_t>(n);
  }
}

void TAtomicFile::Flush() {
  if (committed_) return;
  // By name: a writer by name may have replaced the file created here.
  int fd = open(temp_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  std::string why;
  if (fd < 0 || fsync(fd) != 0) why = SystemError();
  if (fd >= 0) close(fd);
  if (!why.empty()) {
    Discard();
    RaiseError("TAtomicFile::Flush", 6, "Cannot write " + target_ + " (" + why + ")!");
  }
}

void TAtomicFile::Commit(TCommitMode mode) {
  if (committed_) return;
  std::string why;
  if (fd_ >= 0 && close(fd_) != 0) why = SystemError();  // a delayed write error (NFS, quotas)
  fd_ = -1;
  // A writer by name may have replaced the file under the temporary name:
  // what is there now is what gets renamed.
  int fd = why.empty() ? open(temp_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC) : -1;
  if (fd < 0 && why.empty()) why = SystemError();
  struct stat st;
  if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) why = "not a file";
  if (why.empty()) {
    struct stat existing;
    if (stat(replaced_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
      // The owner first: giving a file away clears its set-id bits.
      if (fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        // Not ours to give away: the writer keeps the file.
      }
      fchmod(fd, existing.st_mode & 07777);
    } else {
      fchmod(fd, newMode_);
    }
    if (fsync(fd) != 0) why = SystemError();
  }
  if (fd >= 0 && close(fd) != 0 && why.empty()) why = SystemError();
  if (!why.empty()) {
    Discard();
    RaiseError("TAtomicFile::Commit", 3, "Cannot write " + target_ + " (" + why + ")!");
  }
  if (mode == TCommitMode::KeepExisting) {
    if (!RenameIfFree(temp_, replaced_)) {
      why = errno == EEXIST ? std::string() : SystemError();
      Discard();
      if (why.empty())
        RaiseError(
            "TAtomicFile::Commit", 5,
            target_ + " exists already: another program or run wrote it meanwhile; it was left as it is!");
      RaiseError("TAtomicFile::Commit", 4, "Cannot write " + target_ + " (" + why + ")!");
    }
  } else if (std::rename(temp_.c_str(), replaced_.c_str()) != 0) {
    why = SystemError();
    Discard();
    RaiseError("TAtomicFile::Commit", 4, "Cannot replace " + target_ + " (" + why + ")!");
  }
  committed_ = true;
  SyncFolder(ExtractFilePath(replaced_));
}

void WriteFileAtomically(const std::string& path, const void* data, size_t count) {
  TAtomicFile file(path);
  file.Write(data, count);
  file.Commit();
}

}  // namespace tvx
