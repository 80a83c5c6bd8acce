// Lock annotations that clang checks with -Wthread-safety (the `clang`
// preset builds with it and with -Werror); other compilers ignore them.
//
//   GUARDED_BY(mu)        a member read or written only with mu held
//   PT_GUARDED_BY(mu)     what a pointer member points to, likewise
//   REQUIRES(mu)          a function called only with mu held
//   EXCLUDES(mu)          a function called only without mu (it takes it)
//   ACQUIRE / RELEASE     a function that takes or gives back the lock
//   CAPABILITY / SCOPED_CAPABILITY   the lock types themselves (platform/mutex.h)
//
// NO_THREAD_SAFETY_ANALYSIS turns the check off for one function; say why
// next to it.
#pragma once

#if defined(__clang__)
#define TROVELANE_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TROVELANE_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) TROVELANE_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY TROVELANE_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) TROVELANE_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) TROVELANE_THREAD_ANNOTATION(pt_guarded_by(x))
#define ACQUIRED_BEFORE(...) TROVELANE_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) TROVELANE_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define REQUIRES(...) TROVELANE_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) TROVELANE_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TROVELANE_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define EXCLUDES(...) TROVELANE_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) TROVELANE_THREAD_ANNOTATION(assert_capability(x))
#define RETURN_CAPABILITY(x) TROVELANE_THREAD_ANNOTATION(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS TROVELANE_THREAD_ANNOTATION(no_thread_safety_analysis)
