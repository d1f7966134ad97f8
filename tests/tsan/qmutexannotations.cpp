// Preloaded into the ThreadSanitizer runs (scripts/test-tsan): makes the QMutex locking that our
// code does visible to ThreadSanitizer. Debian's libQt5Core is not instrumented and QMutex waits
// on a futex, so without this every contended QMutex looks like no lock at all.
//
// Each wrapper calls Qt's own function and tells ThreadSanitizer that the mutex was acquired or
// released. Calls inside libQt5Core itself are not seen (they do not go through the PLT). Only
// what our code calls is wrapped: no tryLock, no QWaitCondition.
// In processes without ThreadSanitizer the annotations are absent and only Qt's code runs.
#include <dlfcn.h>

extern "C" {
void __tsan_acquire(void* address) __attribute__((weak));
void __tsan_release(void* address) __attribute__((weak));
}

namespace {
using Function = void (*)(void*);
Function original(const char* name) { return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name)); }

void locked(Function lock, void* mutex)
{
    lock(mutex);
    if (__tsan_acquire)
        __tsan_acquire(mutex);
}

void unlocking(Function unlock, void* mutex)
{
    if (__tsan_release)
        __tsan_release(mutex);
    unlock(mutex);
}
} // namespace

// The classes are only addresses here; the mangled names are Qt 5's: QMutex::lock() and unlock(),
// and the contended paths of the inline QBasicMutex::lock() and unlock().
extern "C" {
void _ZN6QMutex4lockEv(void* m) { static const Function f = original("_ZN6QMutex4lockEv"); locked(f, m); }
void _ZN6QMutex6unlockEv(void* m) { static const Function f = original("_ZN6QMutex6unlockEv"); unlocking(f, m); }
void _ZN11QBasicMutex12lockInternalEv(void* m) { static const Function f = original("_ZN11QBasicMutex12lockInternalEv"); locked(f, m); }
void _ZN11QBasicMutex14unlockInternalEv(void* m) { static const Function f = original("_ZN11QBasicMutex14unlockInternalEv"); unlocking(f, m); }
}
