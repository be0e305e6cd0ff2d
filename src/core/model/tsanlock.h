#pragma once

// Qt's QMutex and QSemaphore block through futexes inside a Qt that is not
// built with ThreadSanitizer, so TSan cannot see the happens-before they give.
// These helpers tell it; outside a TSan build they are the plain Qt calls.

#include <QMutex>
#include <QSemaphore>

#ifdef KV3PD_TSAN
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#endif

namespace tsan {

inline void acquire(void *addr)
{
#ifdef KV3PD_TSAN
    __tsan_acquire(addr);
#else
    (void)addr;
#endif
}

inline void release(void *addr)
{
#ifdef KV3PD_TSAN
    __tsan_release(addr);
#else
    (void)addr;
#endif
}

inline void lock(QMutex &m)
{
    m.lock();
    acquire(&m);
}

inline void unlock(QMutex &m)
{
    release(&m);
    m.unlock();
}

inline void semRelease(QSemaphore &s, int n = 1)
{
    release(&s);
    s.release(n);
}

inline void semAcquire(QSemaphore &s, int n = 1)
{
    s.acquire(n);
    acquire(&s);
}

inline bool semTryAcquire(QSemaphore &s, int n = 1)
{
    if (!s.tryAcquire(n))
        return false;
    acquire(&s);
    return true;
}

inline bool semTryAcquire(QSemaphore &s, int n, int timeoutMs)
{
    if (!s.tryAcquire(n, timeoutMs))
        return false;
    acquire(&s);
    return true;
}

// Scoped lock of a QMutex with the annotations above.
class Locker
{
public:
    explicit Locker(QMutex &m) : mutex(m) { lock(mutex); }
    ~Locker() { unlock(mutex); }
    Locker(const Locker &) = delete;
    Locker &operator=(const Locker &) = delete;

private:
    QMutex &mutex;
};

} // namespace tsan
