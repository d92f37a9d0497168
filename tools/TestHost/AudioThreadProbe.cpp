#include "AudioThreadProbe.h"

#if ONDULA_AUDIO_THREAD_PROBE

 #include <dlfcn.h>
 #include <fcntl.h>
 #include <poll.h>
 #include <pthread.h>
 #include <sched.h>
 #include <sys/epoll.h>
 #include <sys/ioctl.h>
 #include <sys/mman.h>
 #include <sys/select.h>
 #include <sys/socket.h>
 #include <sys/syscall.h>
 #include <sys/uio.h>
 #include <time.h>
 #include <unistd.h>

 #include <array>
 #include <atomic>
 #include <chrono>
 #include <cstdarg>
 #include <cstdlib>
 #include <cstring>

// The C library's own allocator, under the names it keeps for those who replace malloc.
extern "C"
{
void* __libc_malloc (size_t);
void* __libc_calloc (size_t, size_t);
void* __libc_realloc (void*, size_t);
void* __libc_memalign (size_t, size_t);
void* __libc_valloc (size_t);
void* __libc_pvalloc (size_t);
void __libc_free (void*);
}

namespace
{
// Set while the audio thread is inside a Scope. In the executable's own static TLS, so reading it
// allocates nothing, on any thread, at any time.
thread_local bool counting = false;

// Written by the counted thread, read by read() after it has left its scope (the host joins it).
std::atomic<juce::int64> allocations { 0 }, frees { 0 }, locks { 0 }, waits { 0 }, longestWaitNs { 0 };
std::array<std::atomic<const void*>, 256> mutexesSeen {};
std::atomic<int> numMutexesSeen { 0 };

void noteMutex (const void* mutex) noexcept
{
    const int n = numMutexesSeen.load (std::memory_order_relaxed);

    for (int i = 0; i < n; ++i)
        if (mutexesSeen[(size_t) i].load (std::memory_order_relaxed) == mutex)
            return;

    if (n < (int) mutexesSeen.size())
    {
        mutexesSeen[(size_t) n].store (mutex, std::memory_order_relaxed);
        numMutexesSeen.store (n + 1, std::memory_order_relaxed);
    }
}

/** One interposed function: its name, the C library's own, and how often the counted thread
    called it. */
struct Forwarded
{
    const char* name;
    std::atomic<void*> real { nullptr };
    std::atomic<juce::int64> calls { 0 };
};

enum Call
{
    writeCall, writevCall, pwriteCall, readCall, readvCall, preadCall, sendCall, sendtoCall, sendmsgCall,
    recvCall, recvfromCall, recvmsgCall, pollCall, ppollCall, selectCall, epollWaitCall, nanosleepCall,
    clockNanosleepCall, usleepCall, sleepCall, schedYieldCall, syscallCall, ioctlCall, openCall, openatCall,
    closeCall, mmapCall, munmapCall, madviseCall, mprotectCall, fsyncCall,
    // Locks, counted apart from system calls.
    mutexLockCall, mutexTrylockCall, rwlockRdlockCall, rwlockWrlockCall,
    numCalls
};

std::array<Forwarded, numCalls> forwarded { {
    { "write" }, { "writev" }, { "pwrite" }, { "read" }, { "readv" }, { "pread" }, { "send" }, { "sendto" },
    { "sendmsg" }, { "recv" }, { "recvfrom" }, { "recvmsg" }, { "poll" }, { "ppoll" }, { "select" },
    { "epoll_wait" }, { "nanosleep" }, { "clock_nanosleep" }, { "usleep" }, { "sleep" }, { "sched_yield" },
    { "syscall" }, { "ioctl" }, { "open" }, { "openat" }, { "close" }, { "mmap" }, { "munmap" }, { "madvise" },
    { "mprotect" }, { "fsync" },
    { "pthread_mutex_lock" }, { "pthread_mutex_trylock" }, { "pthread_rwlock_rdlock" }, { "pthread_rwlock_wrlock" },
} };

/** The C library's function behind an interposed one; looked up on first use (a library's
    initialiser may call before this file's), and for every function once at start-up, so that a
    counted thread never looks one up. */
template <typename Function>
Function* real (Call call) noexcept
{
    auto& f = forwarded[(size_t) call];
    auto* function = f.real.load (std::memory_order_acquire);

    if (function == nullptr)
    {
        function = ::dlsym (RTLD_NEXT, f.name);
        f.real.store (function, std::memory_order_release);
    }

    return reinterpret_cast<Function*> (function);
}

template <typename Function>
Function* counted (Call call) noexcept
{
    if (counting)
        forwarded[(size_t) call].calls.fetch_add (1, std::memory_order_relaxed);

    return real<Function> (call);
}

const bool lookedUp = []
{
    for (int call = 0; call < numCalls; ++call)
        real<void()> ((Call) call);

    return true;
}();

void noteAllocation() noexcept
{
    if (counting)
        allocations.fetch_add (1, std::memory_order_relaxed);
}

/** The mode argument of open(), which only a file it may create carries. */
mode_t modeOf (int flags, va_list& args) noexcept
{
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t) va_arg (args, int) : 0;
}

struct ScopedArguments
{
    ~ScopedArguments() { va_end (args); }
    va_list& args;
};

template <typename Lock, typename Try, typename Handle>
int lockCounted (Call lockCall, Call tryCall, Handle* handle) noexcept
{
    auto* lock = real<Lock> (lockCall);

    if (! counting)
        return lock (handle);

    locks.fetch_add (1, std::memory_order_relaxed);
    noteMutex (handle);

    if (tryCall != numCalls && real<Try> (tryCall) (handle) == 0)
        return 0;

    // Held by another thread (or, for a read-write lock, not tried): this lock may wait.
    const auto start = std::chrono::steady_clock::now();
    const auto result = lock (handle);
    const auto waited = (juce::int64) std::chrono::duration_cast<std::chrono::nanoseconds> (std::chrono::steady_clock::now() - start).count();

    if (tryCall != numCalls)
        waits.fetch_add (1, std::memory_order_relaxed);

    auto longest = longestWaitNs.load (std::memory_order_relaxed);

    while (waited > longest && ! longestWaitNs.compare_exchange_weak (longest, waited, std::memory_order_relaxed)) {}

    return result;
}
} // namespace

extern "C"
{
// --- Heap -------------------------------------------------------------------------------------
void* malloc (size_t size) noexcept { noteAllocation(); return __libc_malloc (size); }
void* calloc (size_t count, size_t size) noexcept { noteAllocation(); return __libc_calloc (count, size); }
void* realloc (void* p, size_t size) noexcept { noteAllocation(); return __libc_realloc (p, size); }
void* memalign (size_t alignment, size_t size) noexcept { noteAllocation(); return __libc_memalign (alignment, size); }
void* aligned_alloc (size_t alignment, size_t size) noexcept { noteAllocation(); return __libc_memalign (alignment, size); }
void* valloc (size_t size) noexcept { noteAllocation(); return __libc_valloc (size); }
void* pvalloc (size_t size) noexcept { noteAllocation(); return __libc_pvalloc (size); }

int posix_memalign (void** result, size_t alignment, size_t size) noexcept
{
    noteAllocation();

    if (alignment < sizeof (void*) || (alignment & (alignment - 1)) != 0)
        return EINVAL;

    *result = __libc_memalign (alignment, size);
    return *result != nullptr || size == 0 ? 0 : ENOMEM;
}

void free (void* p) noexcept
{
    if (p != nullptr && counting)
        frees.fetch_add (1, std::memory_order_relaxed);

    __libc_free (p);
}

// --- Locks ------------------------------------------------------------------------------------
int pthread_mutex_lock (pthread_mutex_t* m) noexcept
{
    return lockCounted<int (pthread_mutex_t*), int (pthread_mutex_t*)> (mutexLockCall, mutexTrylockCall, m);
}

int pthread_mutex_trylock (pthread_mutex_t* m) noexcept
{
    if (counting)
    {
        locks.fetch_add (1, std::memory_order_relaxed);
        noteMutex (m);
    }

    return real<int (pthread_mutex_t*)> (mutexTrylockCall) (m);
}

int pthread_rwlock_rdlock (pthread_rwlock_t* l) noexcept
{
    return lockCounted<int (pthread_rwlock_t*), int (pthread_rwlock_t*)> (rwlockRdlockCall, numCalls, l);
}

int pthread_rwlock_wrlock (pthread_rwlock_t* l) noexcept
{
    return lockCounted<int (pthread_rwlock_t*), int (pthread_rwlock_t*)> (rwlockWrlockCall, numCalls, l);
}

// --- System calls -----------------------------------------------------------------------------
ssize_t write (int fd, const void* b, size_t n) { return counted<decltype (::write)> (writeCall) (fd, b, n); }
ssize_t writev (int fd, const iovec* v, int n) { return counted<decltype (::writev)> (writevCall) (fd, v, n); }
ssize_t pwrite (int fd, const void* b, size_t n, off_t o) { return counted<decltype (::pwrite)> (pwriteCall) (fd, b, n, o); }
ssize_t read (int fd, void* b, size_t n) { return counted<decltype (::read)> (readCall) (fd, b, n); }
ssize_t readv (int fd, const iovec* v, int n) { return counted<decltype (::readv)> (readvCall) (fd, v, n); }
ssize_t pread (int fd, void* b, size_t n, off_t o) { return counted<decltype (::pread)> (preadCall) (fd, b, n, o); }
ssize_t send (int fd, const void* b, size_t n, int f) { return counted<decltype (::send)> (sendCall) (fd, b, n, f); }
ssize_t sendto (int fd, const void* b, size_t n, int f, const sockaddr* a, socklen_t l)
{
    return counted<decltype (::sendto)> (sendtoCall) (fd, b, n, f, a, l);
}
ssize_t sendmsg (int fd, const msghdr* m, int f) { return counted<decltype (::sendmsg)> (sendmsgCall) (fd, m, f); }
ssize_t recv (int fd, void* b, size_t n, int f) { return counted<decltype (::recv)> (recvCall) (fd, b, n, f); }
ssize_t recvfrom (int fd, void* b, size_t n, int f, sockaddr* a, socklen_t* l)
{
    return counted<decltype (::recvfrom)> (recvfromCall) (fd, b, n, f, a, l);
}
ssize_t recvmsg (int fd, msghdr* m, int f) { return counted<decltype (::recvmsg)> (recvmsgCall) (fd, m, f); }
int poll (pollfd* p, nfds_t n, int t) { return counted<decltype (::poll)> (pollCall) (p, n, t); }
int ppoll (pollfd* p, nfds_t n, const timespec* t, const sigset_t* s) { return counted<decltype (::ppoll)> (ppollCall) (p, n, t, s); }
int select (int n, fd_set* r, fd_set* w, fd_set* e, timeval* t) { return counted<decltype (::select)> (selectCall) (n, r, w, e, t); }
int epoll_wait (int fd, epoll_event* e, int n, int t) { return counted<decltype (::epoll_wait)> (epollWaitCall) (fd, e, n, t); }
int nanosleep (const timespec* r, timespec* left) { return counted<decltype (::nanosleep)> (nanosleepCall) (r, left); }
int clock_nanosleep (clockid_t c, int f, const timespec* r, timespec* left)
{
    return counted<decltype (::clock_nanosleep)> (clockNanosleepCall) (c, f, r, left);
}
int usleep (useconds_t u) { return counted<decltype (::usleep)> (usleepCall) (u); }
unsigned int sleep (unsigned int s) { return counted<decltype (::sleep)> (sleepCall) (s); }
int sched_yield() noexcept { return counted<decltype (::sched_yield)> (schedYieldCall)(); }
int close (int fd) { return counted<decltype (::close)> (closeCall) (fd); }
void* mmap (void* a, size_t n, int p, int f, int fd, off_t o) noexcept { return counted<decltype (::mmap)> (mmapCall) (a, n, p, f, fd, o); }
int munmap (void* a, size_t n) noexcept { return counted<decltype (::munmap)> (munmapCall) (a, n); }
int madvise (void* a, size_t n, int advice) noexcept { return counted<decltype (::madvise)> (madviseCall) (a, n, advice); }
int mprotect (void* a, size_t n, int p) noexcept { return counted<decltype (::mprotect)> (mprotectCall) (a, n, p); }
int fsync (int fd) { return counted<decltype (::fsync)> (fsyncCall) (fd); }

long syscall (long number, ...) noexcept
{
    va_list args;
    va_start (args, number);
    long a[6];

    for (auto& arg : a)
        arg = va_arg (args, long);

    va_end (args);
    return counted<long (long, ...)> (syscallCall) (number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

int ioctl (int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start (args, request);
    void* argument = va_arg (args, void*);
    va_end (args);
    return counted<int (int, unsigned long, ...)> (ioctlCall) (fd, request, argument);
}

int open (const char* path, int flags, ...)
{
    va_list args;
    va_start (args, flags);
    const ScopedArguments end { args };
    return counted<int (const char*, int, ...)> (openCall) (path, flags, modeOf (flags, args));
}

int openat (int dir, const char* path, int flags, ...)
{
    va_list args;
    va_start (args, flags);
    const ScopedArguments end { args };
    return counted<int (int, const char*, int, ...)> (openatCall) (dir, path, flags, modeOf (flags, args));
}
} // extern "C"

bool AudioThreadProbe::isAvailable() noexcept { return lookedUp; }

AudioThreadProbe::Scope::Scope() noexcept { counting = true; }
AudioThreadProbe::Scope::~Scope() { counting = false; }

AudioThreadProbe::Counts AudioThreadProbe::read()
{
    Counts counts;
    counts.allocations = allocations.load();
    counts.frees = frees.load();
    counts.locks = locks.load();
    counts.waits = waits.load();
    counts.mutexes = numMutexesSeen.load();
    counts.longestWaitMs = (double) longestWaitNs.load() / 1.0e6;

    for (int call = 0; call < mutexLockCall; ++call)
    {
        if (const auto n = forwarded[(size_t) call].calls.load(); n > 0)
        {
            counts.systemCalls += n;
            counts.systemCallNames.add (juce::String (forwarded[(size_t) call].name) + "=" + juce::String (n));
        }
    }

    return counts;
}

#else

bool AudioThreadProbe::isAvailable() noexcept { return false; }
AudioThreadProbe::Scope::Scope() noexcept {}
AudioThreadProbe::Scope::~Scope() {}
AudioThreadProbe::Counts AudioThreadProbe::read() { return {}; }

#endif
