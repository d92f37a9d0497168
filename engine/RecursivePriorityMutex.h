#pragma once

#include <pthread.h>

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
    pthread_mutex_t handle;
};
