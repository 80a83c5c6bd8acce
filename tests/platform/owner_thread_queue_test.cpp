#include "platform/owner_thread_queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace trovelane {
namespace {

using namespace std::chrono_literals;

TEST(OwnerThreadQueueTest, TaskRunsOnOwnerThreadWhileSenderWaits) {
  OwnerThreadQueue queue;
  std::atomic<bool> cancelled{false};
  std::thread::id ranOn;
  int value = 0;
  bool sendReturned = false;
  std::thread worker([&] {
    EXPECT_TRUE(queue.Send([&] { ranOn = std::this_thread::get_id(); value = 42; }, cancelled));
    // The task has finished before Send returns.
    EXPECT_EQ(value, 42);
    sendReturned = true;
  });
  while (queue.WaitAndDrain(1000ms) == 0) {
  }
  worker.join();
  EXPECT_TRUE(sendReturned);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(OwnerThreadQueueTest, SendOnOwnerThreadRunsAtOnceAndCancelledSendDoesNothing) {
  OwnerThreadQueue queue;
  std::atomic<bool> cancelled{false};
  int runs = 0;
  EXPECT_TRUE(queue.Send([&] { ++runs; }, cancelled));
  cancelled = true;
  EXPECT_FALSE(queue.Send([&] { ++runs; }, cancelled));
  EXPECT_EQ(runs, 1);
}

TEST(OwnerThreadQueueTest, WakeCallbackIsCalledForEveryQueuedTask) {
  std::atomic<int> wakes{0};
  OwnerThreadQueue queue([&] { ++wakes; });
  std::atomic<bool> cancelled{false};
  std::thread worker([&] {
    queue.Send([] {}, cancelled);
    queue.Send([] {}, cancelled);
  });
  int ran = 0;
  while (ran < 2) ran += queue.WaitAndDrain(1000ms);
  worker.join();
  EXPECT_EQ(wakes.load(), 2);
}

// The Stop situation: ten workers contend for a result lock that the owner
// never takes, and the one holding it waits in a send; the owner cancels them
// all instead of draining, and every one of them comes out.
TEST(OwnerThreadQueueTest, CancelledSendersReturnWithoutTheOwnerDraining) {
  OwnerThreadQueue queue;
  constexpr int kWorkers = 10;
  std::vector<std::atomic<bool>> cancelled(kWorkers);
  std::mutex resultLock;
  std::atomic<int> ran{0}, refused{0}, waiting{0};
  std::vector<std::thread> workers;
  for (int i = 0; i < kWorkers; ++i) {
    workers.emplace_back([&, i] {
      std::lock_guard lock(resultLock);
      ++waiting;
      if (queue.Send([&] { ++ran; }, cancelled[i])) {
        ++ran;
      } else {
        ++refused;
      }
    });
  }
  while (waiting.load() < 1) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(20ms);
  for (auto& c : cancelled) c = true;
  queue.WakeSenders();
  for (auto& t : workers) t.join();
  EXPECT_EQ(refused.load(), kWorkers);
  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(queue.Drain(), 0);  // nothing left behind
}

TEST(OwnerThreadQueueTest, ManySendersAllServedInOrderPerSender) {
  OwnerThreadQueue queue;
  std::atomic<bool> cancelled{false};
  constexpr int kWorkers = 8, kSends = 200;
  std::vector<std::vector<int>> seen(kWorkers);
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < kSends; ++i) queue.Send([&, w, i] { seen[w].push_back(i); }, cancelled);
    });
  }
  int total = 0;
  auto deadline = std::chrono::steady_clock::now() + 20s;
  while (total < kWorkers * kSends && std::chrono::steady_clock::now() < deadline) {
    total += queue.WaitAndDrain(100ms);
  }
  for (auto& t : workers) t.join();
  ASSERT_EQ(total, kWorkers * kSends);
  for (auto& s : seen) {
    ASSERT_EQ(s.size(), size_t(kSends));
    for (int i = 0; i < kSends; ++i) EXPECT_EQ(s[i], i);
  }
}

// Senders that queue again as soon as they are served must not keep the
// owner in one drain (the window would not repaint while results stream in):
// a task queued while a drain runs waits for the next one.
TEST(OwnerThreadQueueTest, ADrainRunsOnlyTheTasksQueuedBeforeIt) {
  OwnerThreadQueue queue;
  std::atomic<bool> cancelled{false};
  std::atomic<bool> firstRunning{false}, secondQueued{false};
  int ran = 0;
  std::thread first([&] {
    queue.Send(
        [&] {
          ++ran;
          firstRunning = true;
          while (!secondQueued) std::this_thread::yield();
        },
        cancelled);
  });
  std::thread second([&] {
    while (!firstRunning) std::this_thread::yield();
    OwnerThreadQueue::Ticket ticket = queue.Post([&] { ++ran; }, cancelled);
    secondQueued = true;
    queue.Await(ticket, cancelled);
  });
  while (queue.WaitAndDrain(100ms) == 0) {
  }
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(queue.Drain(), 1);
  EXPECT_EQ(ran, 2);
  first.join();
  second.join();
}

TEST(OwnerThreadQueueTest, WakeOwnerEndsAWait) {
  OwnerThreadQueue queue;
  std::thread waker([&] {
    std::this_thread::sleep_for(20ms);
    queue.WakeOwner();
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(queue.WaitAndDrain(10s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  waker.join();
}

// Draining from another thread would run tasks beside the owner's own
// unlocked state; the queue ends the program instead of racing.
TEST(OwnerThreadQueueDeathTest, DrainingOffTheOwnerThreadEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        OwnerThreadQueue queue;
        std::thread other([&] { queue.Drain(); });
        other.join();
      },
      "owner-thread method was called on another thread");
}

}  // namespace
}  // namespace trovelane
