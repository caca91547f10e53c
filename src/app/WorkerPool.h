#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tvx {

/// A fixed number of threads that run tasks in the order they were
/// submitted. The thread that owns the pool waits for results with
/// WaitUntil, which wakes whenever a task ends, so it can also look after
/// other things (a user interface) between waits.
///
/// Tasks must not throw (what a task computes, errors included, it hands
/// over through its own state). Submit, WaitUntil and DropQueued are called
/// by the owning thread only.
class TWorkerPool {
 public:
  /// worker: 0 to Threads() - 1, the thread running the task, so that a task
  /// can use per-thread state without a lock.
  using TTask = std::function<void(size_t worker)>;

  /// Starts `threads` threads (at least one).
  explicit TWorkerPool(size_t threads);
  /// Drops the tasks not started, waits for the running ones and joins.
  ~TWorkerPool();
  TWorkerPool(const TWorkerPool&) = delete;
  TWorkerPool& operator=(const TWorkerPool&) = delete;

  size_t Threads() const { return threads_.size(); }
  void Submit(TTask task);
  /// Returns as soon as ready() holds, or after timeout with its value then.
  /// ready() is evaluated under the pool's lock: it may read what tasks
  /// wrote before they ended.
  bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout);
  /// Forgets the tasks that no thread has started.
  void DropQueued();
  /// Returns as soon as no task is queued or running (true), or after timeout.
  bool WaitIdle(std::chrono::milliseconds timeout);

 private:
  void Run(size_t worker);

  std::mutex mutex_;
  std::condition_variable work_;   // a task was queued, or the pool ends
  std::condition_variable ended_;  // a task ended
  std::deque<TTask> queue_;
  size_t running_ = 0;
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tvx
