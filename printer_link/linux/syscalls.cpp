#include "syscalls.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vornik::linux_backend {

namespace {

// open() and ioctl() are variadic in the C library; the table needs fixed signatures.
int OpenNode(const char *path, int flags)
{
    return ::open(path, flags);
}

int Ioctl(int fd, unsigned long request, void *argument)
{
    return ::ioctl(fd, request, argument);
}

int MakeBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0)
        return -1;
    return (flags & O_NONBLOCK) ? fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) : 0;
}

// Why writes are blocking and bounded by a timer signal: printer_link/README.md (the usblp
// section). The handler does nothing; installed without SA_RESTART, it makes the write return.
int WriteTimerSignal()
{
    return SIGRTMIN;
}

void OnWriteTimer(int)
{ }

constexpr long kWriteTimerRepeatNs = 20 * 1000 * 1000;

long long ElapsedMs(const timespec &since)
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - since.tv_sec) * 1000LL + (now.tv_nsec - since.tv_nsec) / 1000000;
}

void InstallWriteTimerHandler()
{
    struct sigaction action { };
    action.sa_handler = &OnWriteTimer;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(WriteTimerSignal(), &action, nullptr);
}

// One timer per writing thread, aimed at that thread, made at its first write and deleted when
// the thread ends, so that a block costs only arming and disarming it.
class ThreadWriteTimer {
public:
    ThreadWriteTimer() = default;
    ThreadWriteTimer(const ThreadWriteTimer &) = delete;
    ThreadWriteTimer &operator=(const ThreadWriteTimer &) = delete;
    ~ThreadWriteTimer()
    {
        if (created_)
            timer_delete(timer_);
    }

    // False (errno set) when the timer cannot be made; the next write tries again.
    bool ready()
    {
        if (created_)
            return true;
        sigevent event {};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = WriteTimerSignal();
        event._sigev_un._tid = gettid();
        created_ = timer_create(CLOCK_MONOTONIC, &event, &timer_) == 0;
        return created_;
    }
    int arm(const itimerspec &limit) { return timer_settime(timer_, 0, &limit, nullptr); }
    // Must follow every arm: the timer repeats until disarmed.
    void disarm()
    {
        const itimerspec off {};
        timer_settime(timer_, 0, &off, nullptr);
    }

private:
    timer_t timer_ {};
    bool created_ = false;
};

ssize_t WriteWithin(int fd, const void *data, size_t count, int timeoutMs)
{
    static std::once_flag installed;
    std::call_once(installed, &InstallWriteTimerHandler);
    const int signal = WriteTimerSignal();

    // Only our own timer may end the wait (README: a block after EINTR may be in flight).
    sigset_t onlyTimer;
    sigset_t saved;
    sigfillset(&onlyTimer);
    sigdelset(&onlyTimer, signal);
    pthread_sigmask(SIG_SETMASK, &onlyTimer, &saved);

    thread_local ThreadWriteTimer timer;
    ssize_t result = -1;
    int error = 0;
    if (!timer.ready()) {
        error = errno;
    } else {
        const int flags = fcntl(fd, F_GETFL);
        const bool nonBlocking = flags >= 0 && (flags & O_NONBLOCK);
        if (flags < 0 || (nonBlocking && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0))
            error = errno;
        // Repeating after it expired: see the README.
        itimerspec limit {};
        limit.it_value.tv_sec = timeoutMs / 1000;
        limit.it_value.tv_nsec = static_cast<long>(timeoutMs % 1000) * 1000000L;
        limit.it_interval.tv_nsec = kWriteTimerRepeatNs;
        timespec started {};
        clock_gettime(CLOCK_MONOTONIC, &started);
        if (error != 0) {
            // Not sure to block: a write now might count its block before it is sent.
        } else if (timeoutMs <= 0) {
            error = ETIMEDOUT;
        } else if (timer.arm(limit) != 0) {
            error = errno;
        } else {
            result = ::write(fd, data, count);
            error = errno;
            timer.disarm();
            // A stop and continue also interrupts the wait; that one is no timeout, and it
            // fails the write all the same, since the block may be in flight.
            if (result < 0 && error == EINTR && ElapsedMs(started) >= timeoutMs)
                error = ETIMEDOUT;
        }
        if (nonBlocking)
            fcntl(fd, F_SETFL, flags);
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    errno = error;
    return result;
}

} // namespace

const Syscalls &RealSyscalls()
{
    static const Syscalls calls { &OpenNode, &::close, &Ioctl, &::read, &WriteWithin, &::poll,
        &MakeBlocking };
    return calls;
}

} // namespace vornik::linux_backend
