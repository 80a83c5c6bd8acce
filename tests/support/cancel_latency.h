// Measures how promptly a wait ends when another thread cancels it.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace trovelane::test {

// How soon a cancelled wait must end. A cancel wakes the wait at once; the
// bound only has to tell that apart from a wait that runs on to a time-out
// (5 s to connect and 10 s to read by default) or forever, and it leaves a
// loaded machine running the sanitizer builds room to schedule the thread.
// How fast a cancel really is belongs to the benchmarks.
inline constexpr std::chrono::milliseconds kCancelBound{1000};

// Runs `wait` on this thread while another thread calls target.Cancel()
// after 50 ms; returns how long `wait` went on after the cancel.
template <typename Cancellable, typename Wait>
std::chrono::steady_clock::duration LatencyAfterCancel(Cancellable& target, Wait wait) {
  using Clock = std::chrono::steady_clock;
  std::atomic<Clock::rep> cancelledAt{0};
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cancelledAt = Clock::now().time_since_epoch().count();
    target.Cancel();
  });
  wait();
  Clock::time_point end = Clock::now();
  canceller.join();
  return end - Clock::time_point(Clock::duration(cancelledAt.load()));
}

}  // namespace trovelane::test
