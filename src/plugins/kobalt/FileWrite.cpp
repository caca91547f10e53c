#include "FileWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "FileNames.h"

namespace kobalt {
namespace {

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

namespace {

// Copies `size` bytes from `from` at `offset` to the end of `to`: in the
// kernel where the file systems allow it, else through a buffer.
bool CopyRange(int from, off_t offset, int to, size_t size) {
  while (size > 0) {
    ssize_t n = ::copy_file_range(from, &offset, to, nullptr, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    size -= static_cast<size_t>(n);
  }
  std::vector<uint8_t> buffer(size ? std::min<size_t>(size, size_t(1) << 20) : 0);
  while (size > 0) {
    ssize_t n = ::pread(from, buffer.data(), std::min(size, buffer.size()), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !WriteAll(to, buffer.data(), static_cast<size_t>(n))) return false;
    offset += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Writes a new file beside `path` (its head from memory, then `tailSize`
// bytes of `tailFd` from `tailOffset`) and renames it over `path`.
bool WriteAndReplace(const std::string& path, const uint8_t* data, size_t size, int tailFd, off_t tailOffset,
                     size_t tailSize) {
  if (path.empty() || (!data && size > 0)) return false;
  std::string target = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  struct stat old {};
  bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) return false;

  const size_t nameStart = NameStart(target);
  const std::string folder = nameStart == 0 ? std::string(".") : target.substr(0, nameStart);
  std::string temp = target.substr(0, nameStart) + "." + target.substr(nameStart) + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;

  mode_t mode = 0644;
  if (exists) {
    mode = old.st_mode & 07777;
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Not ours to give away; the writer keeps the file.
    }
  }
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, data, size) &&
            (tailSize == 0 || CopyRange(tailFd, tailOffset, fd, tailSize)) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable.
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, const uint8_t* data, size_t size) {
  return WriteAndReplace(path, data, size, -1, 0, 0);
}

bool ReplaceFileHead(const std::string& path, size_t limit, const THeadEdit& edit) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  std::vector<uint8_t> prefix, head;
  size_t replaced = 0;
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0;
  const size_t fileSize = ok ? static_cast<size_t>(info.st_size) : 0;
  if (ok) {
    prefix.resize(std::min(limit, fileSize));
    size_t done = 0;
    while (ok && done < prefix.size()) {
      ssize_t n = ::pread(fd, prefix.data() + done, prefix.size() - done, static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ok = false;
      else done += static_cast<size_t>(n);
    }
  }
  ok = ok && edit(prefix, fileSize, head, replaced) && replaced <= fileSize;
  // The rest of the same open file follows the new head: no window in which
  // another file could take the old one's place.
  if (ok) ok = WriteAndReplace(path, head.data(), head.size(), fd, static_cast<off_t>(replaced), fileSize - replaced);
  ::close(fd);
  return ok;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, size_t maxSize) {
  bytes.clear();
  // O_NONBLOCK: a FIFO must be refused (not a regular file), not waited on.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
            static_cast<unsigned long long>(info.st_size) <= maxSize;
  if (ok) {
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (ok && done < bytes.size()) {
      ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ok = false;
      else done += static_cast<size_t>(n);
    }
  }
  ::close(fd);
  if (!ok) bytes.clear();
  return ok;
}

bool ReadFilePrefix(const std::string& path, size_t limit, std::vector<uint8_t>& bytes) {
  bytes.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0;
  if (ok) {
    bytes.resize(std::min<size_t>(limit, static_cast<size_t>(info.st_size)));
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // shrank meanwhile: what is there
      done += static_cast<size_t>(n);
    }
    bytes.resize(done);
  }
  ::close(fd);
  if (!ok) bytes.clear();
  return ok;
}

}  // namespace kobalt
