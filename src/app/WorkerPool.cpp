#include "app/WorkerPool.h"

#include <algorithm>

namespace tvx {

TWorkerPool::TWorkerPool(size_t threads) {
  threads = std::max<size_t>(threads, 1);
  threads_.reserve(threads);
  for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this, i] { Run(i); });
}

TWorkerPool::~TWorkerPool() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    queue_.clear();
  }
  work_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void TWorkerPool::Submit(TTask task) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(task));
  }
  work_.notify_one();
}

bool TWorkerPool::WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return ended_.wait_for(lock, timeout, ready);
}

void TWorkerPool::DropQueued() {
  std::lock_guard lock(mutex_);
  queue_.clear();
}

bool TWorkerPool::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return ended_.wait_for(lock, timeout, [this] { return queue_.empty() && running_ == 0; });
}

void TWorkerPool::Run(size_t worker) {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return closing_ || !queue_.empty(); });
    if (closing_) return;
    TTask task = std::move(queue_.front());
    queue_.pop_front();
    ++running_;
    lock.unlock();
    task(worker);
    task = nullptr;  // what the task holds goes before the owner hears of its end
    lock.lock();
    --running_;
    ended_.notify_all();
  }
}

}  // namespace tvx
