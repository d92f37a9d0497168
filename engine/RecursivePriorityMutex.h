#pragma once

#if defined(_WIN32)
 #include <mutex> // Windows has no priority inheritance to ask for; its scheduler boosts waiters
#else
 #include <pthread.h>
#endif

/** A recursive mutex with priority inheritance, so that a message-thread holder is boosted while
    the audio thread waits for it. Meets BasicLockable/Lockable: use it with std::lock_guard or
    std::unique_lock. */
class RecursivePriorityMutex
{
public:
    RecursivePriorityMutex() noexcept;
    ~RecursivePriorityMutex();

    RecursivePriorityMutex (const RecursivePriorityMutex&) = delete;
    RecursivePriorityMutex& operator= (const RecursivePriorityMutex&) = delete;

    void lock() noexcept;
    void unlock() noexcept;
    bool try_lock() noexcept;

private:
#if defined(_WIN32)
    std::recursive_mutex handle;
#else
    pthread_mutex_t handle;
#endif
};
