// Preloaded into the ThreadSanitizer runs (scripts/test-tsan): makes the QMutex locking that our
// code does visible to ThreadSanitizer. Debian's libQt5Core is not instrumented and QMutex waits
// on a futex, so without this every contended QMutex looks like no lock at all.
//
// Each wrapper calls Qt's own function and tells ThreadSanitizer that the mutex was acquired or
// released. Calls inside libQt5Core itself are not seen (they do not go through the PLT). Only
// what our code calls is wrapped: no tryLock, no QWaitCondition.
// In processes without ThreadSanitizer the annotations are absent and only Qt's code runs.
#include <dlfcn.h>

#include <cstdint>

extern "C" {
void __tsan_acquire(void* address) __attribute__((weak));
void __tsan_release(void* address) __attribute__((weak));
}

namespace {

void acquired(void* mutex)
{
    if (__tsan_acquire)
        __tsan_acquire(mutex);
}

void releasing(void* mutex)
{
    if (__tsan_release)
        __tsan_release(mutex);
}

template<typename Function>
Function original(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

// The classes are only addresses here; the mangled names are Qt 5's.
extern "C" {

// void QMutex::lock()
void _ZN6QMutex4lockEv(void* mutex)
{
    static auto lock = original<void (*)(void*)>("_ZN6QMutex4lockEv");
    lock(mutex);
    acquired(mutex);
}

// void QMutex::unlock()
void _ZN6QMutex6unlockEv(void* mutex)
{
    static auto unlock = original<void (*)(void*)>("_ZN6QMutex6unlockEv");
    releasing(mutex);
    unlock(mutex);
}

// void QBasicMutex::lockInternal(): the contended path of the inline QBasicMutex::lock()
void _ZN11QBasicMutex12lockInternalEv(void* mutex)
{
    static auto lock = original<void (*)(void*)>("_ZN11QBasicMutex12lockInternalEv");
    lock(mutex);
    acquired(mutex);
}

// void QBasicMutex::unlockInternal()
void _ZN11QBasicMutex14unlockInternalEv(void* mutex)
{
    static auto unlock = original<void (*)(void*)>("_ZN11QBasicMutex14unlockInternalEv");
    releasing(mutex);
    unlock(mutex);
}

} // extern "C"
