#pragma once

#include <cstddef>
#include <string>

namespace tvx {

/// Writes a file under a temporary name in the target's folder and renames it
/// over the target on Commit(). Until then the target is untouched; an object
/// destroyed without Commit() removes its temporary file. A replaced target's
/// permission bits are kept; a new one gets 0666 less the umask.
class TAtomicFile {
 public:
  /// Creates the temporary file; throws EError when that is not possible.
  explicit TAtomicFile(std::string target);
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  /// Appends bytes; throws EError on a failed write (a full disk, a size limit).
  void Write(const void* data, size_t count);
  /// Flushes to disk and renames over the target; throws EError on failure,
  /// in which case the target is unchanged and the temporary file is gone.
  void Commit();

  const std::string& TempPath() const { return temp_; }
  /// The descriptor of the temporary file, for writers (codecs) that need one.
  int Descriptor() const { return fd_; }

 private:
  void Discard() noexcept;

  std::string target_;
  std::string temp_;
  int fd_ = -1;
  bool committed_ = false;
};

/// Writes bytes to path atomically (TAtomicFile); throws EError on failure.
void WriteFileAtomically(const std::string& path, const void* data, size_t count);

}  // namespace tvx
