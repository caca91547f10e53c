#include "app/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>

namespace tvx {
namespace {

using namespace std::chrono_literals;

TEST(WorkerPool, TasksRunOnTheirWorkersAndTheOwnerWakesWhenOneEnds) {
  TWorkerPool pool(3);
  EXPECT_EQ(pool.Threads(), 3u);
  std::mutex mutex;
  std::set<std::thread::id> threads;
  std::set<size_t> workers;
  std::atomic<int> done{0};
  for (int i = 0; i < 30; ++i)
    pool.Submit([&](size_t worker) {
      std::this_thread::sleep_for(1ms);
      std::lock_guard lock(mutex);
      threads.insert(std::this_thread::get_id());
      workers.insert(worker);
      ++done;
    });
  // Generous: woken at each end, not at the timeout.
  while (!pool.WaitUntil([&] { return done.load() == 30; }, 5s)) {
  }
  EXPECT_TRUE(pool.WaitIdle(5s));
  EXPECT_LE(threads.size(), 3u);
  EXPECT_FALSE(threads.count(std::this_thread::get_id()));
  for (size_t w : workers) EXPECT_LT(w, 3u);
  EXPECT_FALSE(pool.WaitUntil([] { return false; }, 1ms));
}

TEST(WorkerPool, DroppedAndUnstartedTasksNeverRun) {
  std::atomic<int> ran{0};
  std::atomic<bool> release{false}, started{false};
  std::thread releaser;
  {
    TWorkerPool pool(1);
    pool.Submit([&](size_t) {
      started = true;
      while (!release) std::this_thread::sleep_for(1ms);
      ++ran;
    });
    while (!started) std::this_thread::sleep_for(1ms);
    for (int i = 0; i < 5; ++i) pool.Submit([&](size_t) { ++ran; });
    pool.DropQueued();
    pool.Submit([&](size_t) { ++ran; });
    release = true;
    EXPECT_TRUE(pool.WaitIdle(5s));
    EXPECT_EQ(ran.load(), 2);
    // Not started when the pool goes: never run.
    release = false;
    started = false;
    pool.Submit([&](size_t) {
      started = true;
      while (!release) std::this_thread::sleep_for(1ms);
      ++ran;
    });
    pool.Submit([&](size_t) { ran += 100; });
    while (!started) std::this_thread::sleep_for(1ms);
    // The pool goes while the first still runs: it finishes, the second never starts.
    releaser = std::thread([&] {
      std::this_thread::sleep_for(20ms);
      release = true;
    });
  }
  releaser.join();
  EXPECT_EQ(ran.load(), 3);
}

}  // namespace
}  // namespace tvx
