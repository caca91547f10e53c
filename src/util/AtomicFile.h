#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace tvx {

/// How the program replaces every file it writes (the pictures of the batch
/// runs, ".config", ".styles", ".tvx"): the new content goes to a temporary
/// file beside the target and is renamed over it in one step, so a failure,
/// a cancel or a crash never leaves a truncated file and never destroys the
/// file that was there.
///
/// - A target that is a symbolic link is followed (through every link): the
///   file it names is replaced and the link stays a link; a dangling link's
///   target is created.
/// - The temporary file is hidden in the folder of the file replaced, so the
///   rename never crosses file systems.
/// - A new file gets mode 0666 less the umask; a replaced file keeps its
///   permission bits and, where the process may give it away, its owner and
///   group.
/// - Commit flushes the file, renames it and flushes the folder, so the
///   rename survives a power loss too.
///
/// An object destroyed without Commit removes its temporary file. Not for
/// sharing between threads; it may be handed from one thread to another.
class TAtomicFile {
 public:
  /// How the temporary file is named.
  enum class TTempName {
    /// ".name.tmp-XXXXXX": content written through Write.
    Hidden,
    /// ".name.part-XXXXXX.ext", keeping the target's extension: content
    /// written by another writer through TempPath() (a plug-in chooses the
    /// format by the extension, and may itself replace the file there).
    KeepExtension,
  };

  /// Creates the temporary file; throws EError when that is not possible.
  explicit TAtomicFile(std::string target, TTempName naming = TTempName::Hidden);
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  /// What Commit may do to a file that exists under the target's name.
  enum class TCommitMode {
    Replace,  ///< replace it (the file that was there is gone)
    /// leave it and fail: the caller found the name free, so a file there now
    /// was put there by someone else meanwhile (another process, another shard)
    KeepExisting,
  };

  /// Appends bytes; throws EError on a failed write (a full disk, a size limit).
  void Write(const void* data, size_t count);
  /// Flushes the content written so far to disk, so that a later Commit has
  /// only the rename left to wait for (a batch run flushes in its worker and
  /// commits in list order). Optional; throws EError on failure, in which
  /// case the temporary file is gone.
  void Flush();
  /// Gives the file its owner and mode, flushes it to disk, renames it over
  /// the target and flushes the folder; throws EError on failure, in which
  /// case the target is unchanged and the temporary file is gone.
  void Commit(TCommitMode mode = TCommitMode::Replace);

  /// The target as given (messages name it).
  const std::string& Target() const { return target_; }
  /// The file that Commit replaces: the target with its links followed.
  const std::string& ReplacedPath() const { return replaced_; }
  const std::string& TempPath() const { return temp_; }
  /// The descriptor of the temporary file, for writers (codecs) that need one.
  int Descriptor() const { return fd_; }

 private:
  void Discard() noexcept;

  std::string target_;
  std::string replaced_;
  std::string temp_;
  int fd_ = -1;
  mode_t newMode_ = 0;  // what a new file gets: 0666 less the umask, as created
  bool committed_ = false;
};

/// Writes bytes to path through a TAtomicFile; throws EError on failure.
void WriteFileAtomically(const std::string& path, const void* data, size_t count);

/// The file a path names once its symbolic links are followed (relative link
/// texts taken from the link's folder), whether that file exists or not; the
/// path itself when it is no link. Throws EError after 40 links (a loop).
std::string FollowLinks(const std::string& path);

}  // namespace tvx
