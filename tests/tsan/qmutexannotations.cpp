// Preloaded into the ThreadSanitizer runs (scripts/test-tsan): makes the QMutex locking that our
// code does visible to ThreadSanitizer. Debian's libQt5Core is not instrumented and QMutex waits
// on a futex, so without this every contended QMutex looks like no lock at all.
//
// Each wrapper calls Qt's own function and tells ThreadSanitizer that the mutex was acquired or
// released. Calls inside libQt5Core itself are not seen (they do not go through the PLT).
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

// QDeadlineTimer's layout, passed by value as Qt passes it.
struct Deadline
{
    std::int64_t t1;
    unsigned t2;
    int type;
};

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

// bool QMutex::tryLock(int)
bool _ZN6QMutex7tryLockEi(void* mutex, int timeout)
{
    static auto tryLock = original<bool (*)(void*, int)>("_ZN6QMutex7tryLockEi");
    const bool locked = tryLock(mutex, timeout);
    if (locked)
        acquired(mutex);
    return locked;
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

// bool QBasicMutex::lockInternal(int)
bool _ZN11QBasicMutex12lockInternalEi(void* mutex, int timeout)
{
    static auto lock = original<bool (*)(void*, int)>("_ZN11QBasicMutex12lockInternalEi");
    const bool locked = lock(mutex, timeout);
    if (locked)
        acquired(mutex);
    return locked;
}

// void QBasicMutex::unlockInternal()
void _ZN11QBasicMutex14unlockInternalEv(void* mutex)
{
    static auto unlock = original<void (*)(void*)>("_ZN11QBasicMutex14unlockInternalEv");
    releasing(mutex);
    unlock(mutex);
}

// bool QWaitCondition::wait(QMutex*, QDeadlineTimer): gives the mutex up and takes it again.
bool _ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer(void* condition, void* mutex, Deadline deadline)
{
    static auto wait = original<bool (*)(void*, void*, Deadline)>("_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
    releasing(mutex);
    const bool woken = wait(condition, mutex, deadline);
    acquired(mutex);
    return woken;
}

// bool QWaitCondition::wait(QMutex*, unsigned long)
bool _ZN14QWaitCondition4waitEP6QMutexm(void* condition, void* mutex, unsigned long timeout)
{
    static auto wait = original<bool (*)(void*, void*, unsigned long)>("_ZN14QWaitCondition4waitEP6QMutexm");
    releasing(mutex);
    const bool woken = wait(condition, mutex, timeout);
    acquired(mutex);
    return woken;
}

} // extern "C"
