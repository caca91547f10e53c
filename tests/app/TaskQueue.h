#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "app/PreviewLoader.h"

namespace tvx::test {

/// The user-interface thread's event queue as the loader sees it: tasks
/// posted from any thread wait until the test runs them on its own thread.
/// Declare it before the loader that posts to it.
class TTaskQueue {
 public:
  TPreviewLoader::TPostFunc PostFunc() {
    return [this](TPreviewLoader::TTask task) { Post(std::move(task)); };
  }
  void Post(TPreviewLoader::TTask task) {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
      ++posted_;
    }
    changed_.notify_all();
  }
  /// Waits until `count` tasks were posted in all; false on timeout.
  bool WaitForPosted(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return posted_ >= count; });
  }
  /// Runs the queued tasks in order on the calling thread; returns how many.
  size_t RunAll() {
    size_t n = 0;
    for (;;) {
      TPreviewLoader::TTask task;
      {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) return n;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
      ++n;
    }
  }
  size_t Posted() {
    std::lock_guard lock(mutex_);
    return posted_;
  }
  size_t Queued() {
    std::lock_guard lock(mutex_);
    return tasks_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TPreviewLoader::TTask> tasks_;
  size_t posted_ = 0;
};

/// Polls cond every millisecond until it holds; false on timeout.
template <class F>
bool WaitUntil(F&& cond, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace tvx::test
