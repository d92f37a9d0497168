#include "engine/RecursivePriorityMutex.h"

#if defined(_WIN32)

RecursivePriorityMutex::RecursivePriorityMutex() noexcept = default;
RecursivePriorityMutex::~RecursivePriorityMutex() = default;
void RecursivePriorityMutex::lock() noexcept { handle.lock(); }
void RecursivePriorityMutex::unlock() noexcept { handle.unlock(); }
bool RecursivePriorityMutex::try_lock() noexcept { return handle.try_lock(); }

#else

RecursivePriorityMutex::RecursivePriorityMutex() noexcept
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init (&attributes);
    pthread_mutexattr_settype (&attributes, PTHREAD_MUTEX_RECURSIVE);

    // Some systems lack priority inheritance; the mutex is still correct without it.
    if (pthread_mutexattr_setprotocol (&attributes, PTHREAD_PRIO_INHERIT) != 0)
        pthread_mutexattr_setprotocol (&attributes, PTHREAD_PRIO_NONE);

    if (pthread_mutex_init (&handle, &attributes) != 0)
    {
        pthread_mutexattr_setprotocol (&attributes, PTHREAD_PRIO_NONE);
        pthread_mutex_init (&handle, &attributes);
    }

    pthread_mutexattr_destroy (&attributes);
}

RecursivePriorityMutex::~RecursivePriorityMutex()
{
    pthread_mutex_destroy (&handle);
}

void RecursivePriorityMutex::lock() noexcept
{
    pthread_mutex_lock (&handle);
}

void RecursivePriorityMutex::unlock() noexcept
{
    pthread_mutex_unlock (&handle);
}

bool RecursivePriorityMutex::try_lock() noexcept
{
    return pthread_mutex_trylock (&handle) == 0;
}

#endif
