// A mutex, its scoped lock and a condition variable that clang's lock
// analysis understands (platform/thread_annotations.h). They are
// std::mutex and std::condition_variable underneath; use them for every
// lock that guards shared state, so that the compiler checks who holds it.
//
//   Mutex mutex_;
//   int count_ GUARDED_BY(mutex_) = 0;
//   void Add() EXCLUDES(mutex_) { MutexLock lock(&mutex_); ++count_; }
//
// Waiting: hold the mutex and loop on the condition, which the analysis then
// sees is read under the lock:
//   MutexLock lock(&mutex_);
//   while (!ready_) changed_.Wait(&mutex_);
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/thread_annotations.h"

namespace trovelane {

class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }
  // Tells the analysis that the caller holds the lock, where it cannot see it.
  void AssertHeld() const ASSERT_CAPABILITY(this) {}

 private:
  friend class CondVar;
  std::mutex mutex_;
};

// Holds a Mutex from construction to the end of the scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex* mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_->Lock(); }
  ~MutexLock() RELEASE() { mutex_->Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex* const mutex_;
};

class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;

  // Gives back `mutex` while it waits and takes it again before it returns.
  // May return without a signal; callers loop on their condition.
  void Wait(Mutex* mutex) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex->mutex_, std::adopt_lock);
    cv_.wait(lock);
    lock.release();
  }
  // As Wait, at most until `deadline`. False when the deadline has passed.
  template <class Clock, class Duration>
  bool WaitUntil(Mutex* mutex, std::chrono::time_point<Clock, Duration> deadline)
      REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex->mutex_, std::adopt_lock);
    const bool signalled = cv_.wait_until(lock, deadline) == std::cv_status::no_timeout;
    lock.release();
    return signalled;
  }

  void Signal() { cv_.notify_one(); }
  void SignalAll() { cv_.notify_all(); }

 private:
  std::condition_variable cv_;
};

}  // namespace trovelane
