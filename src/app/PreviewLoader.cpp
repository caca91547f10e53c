#include "app/PreviewLoader.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "imageio/PluginManager.h"
#include "util/Error.h"

namespace tvx {

struct TPreviewLoader::TShared {
  TPostFunc Post;

  struct TJob {
    uint64_t Request = 0;
    std::string Path;
  };
  std::mutex Mutex;
  std::condition_variable Wake;
  // Guarded by Mutex.
  std::optional<TJob> Pending;   // the newest request, not yet started
  std::optional<TJob> InFlight;  // being decoded; its number follows an adopting request
  uint64_t Current = 0;
  uint64_t Counter = 0;
  uint64_t Decodes = 0;
  bool Stopping = false;

  // Read and written on the user-interface thread only; atomic so that a
  // task run by a misbehaving post function on another thread still sees it.
  std::atomic<bool> Alive{true};
};

namespace {

// The preview should never take the processor from the user-interface
// thread or a batch run; per-thread niceness is cheap on Linux.
void LowerThreadPriority() {
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, tid);
  if (errno == 0) setpriority(PRIO_PROCESS, tid, std::min(current + 5, 19));
}

}  // namespace

TPreviewLoader::TPreviewLoader(const TPluginManager& plugins, TPostFunc post)
    : plugins_(plugins), shared_(std::make_shared<TShared>()) {
  shared_->Post = std::move(post);
}

TPreviewLoader::~TPreviewLoader() { Stop(); }

uint64_t TPreviewLoader::Request(const std::string& path) {
  uint64_t request = 0;
  {
    std::lock_guard lock(shared_->Mutex);
    if (shared_->Stopping) return 0;
    request = ++shared_->Counter;
    shared_->Current = request;
    if (shared_->InFlight && shared_->InFlight->Path == path) {
      // The picture being decoded is the one wanted: nothing else waits.
      shared_->Pending.reset();
      shared_->InFlight->Request = request;
    } else {
      shared_->Pending = TShared::TJob{request, path};
    }
  }
  // Signalled after the state changed under the lock: a worker between its
  // last look at the state and its wait cannot miss this request.
  shared_->Wake.notify_one();
  if (!worker_.joinable()) worker_ = std::thread(Run, shared_, std::cref(plugins_), this);
  return request;
}

void TPreviewLoader::Withdraw() {
  std::lock_guard lock(shared_->Mutex);
  shared_->Pending.reset();
  shared_->Current = 0;
}

uint64_t TPreviewLoader::Current() const {
  std::lock_guard lock(shared_->Mutex);
  return shared_->Current;
}

uint64_t TPreviewLoader::DecodeCount() const {
  std::lock_guard lock(shared_->Mutex);
  return shared_->Decodes;
}

void TPreviewLoader::Stop() {
  {
    std::lock_guard lock(shared_->Mutex);
    shared_->Stopping = true;
    shared_->Pending.reset();
    shared_->Current = 0;
  }
  shared_->Wake.notify_all();
  if (worker_.joinable()) worker_.join();
  shared_->Alive = false;
}

void TPreviewLoader::Run(const std::shared_ptr<TShared>& shared, const TPluginManager& plugins,
                         TPreviewLoader* owner) {
  LowerThreadPriority();
  std::unique_lock lock(shared->Mutex);
  for (;;) {
    shared->Wake.wait(lock, [&] { return shared->Stopping || shared->Pending.has_value(); });
    if (shared->Stopping) return;
    shared->InFlight = std::move(shared->Pending);
    shared->Pending.reset();
    const std::string path = shared->InFlight->Path;
    lock.unlock();

    std::shared_ptr<TBitmap32> picture;
    std::exception_ptr error;
    try {
      picture = plugins.LoadBitmap(path);
      if (!picture || picture->Empty())
        RaiseError("TImageLoaderThread::Execute", 1, "Error while loading " + path + "!");
    } catch (...) {
      picture.reset();
      error = std::current_exception();
    }

    lock.lock();
    ++shared->Decodes;
    const uint64_t request = shared->InFlight->Request;
    shared->InFlight.reset();
    if (shared->Stopping) return;
    // A newer request waits, or this one was withdrawn: drop it undelivered.
    if (request != shared->Current) continue;
    lock.unlock();

    // The task may run after the loader is gone: it holds the shared state,
    // and touches the loader only while that state says it is alive.
    auto task = [shared, owner, request, path, picture, error] {
      if (!shared->Alive.load()) return;
      if (request != owner->Current()) return;  // stale on arrival
      if (error) {
        if (owner->OnFailed) owner->OnFailed(request, path, error);
      } else if (owner->OnLoaded) {
        owner->OnLoaded(request, path, std::move(*picture));
      }
    };
    try {
      shared->Post(std::move(task));
    } catch (...) {
      // Nowhere to report to; the next request starts afresh.
    }
    lock.lock();
  }
}

}  // namespace tvx
