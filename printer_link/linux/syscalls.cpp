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

// usblp's blocking write never times out on its own, but it waits interruptibly: a signal makes
// it return EINTR. A per-call timer aims a real-time signal at the writing thread alone; its
// handler does nothing, and without SA_RESTART the write returns instead of waiting on.
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

ssize_t WriteWithin(int fd, const void *data, size_t count, int timeoutMs)
{
    static std::once_flag installed;
    std::call_once(installed, &InstallWriteTimerHandler);
    const int signal = WriteTimerSignal();

    // Every other signal stays blocked while the write runs: usblp answers any signal with
    // EINTR and leaves the block in flight, and a block that may have gone out cannot be sent
    // again without corrupting the stream. Only our own timer may end the wait.
    sigset_t onlyTimer;
    sigset_t saved;
    sigfillset(&onlyTimer);
    sigdelset(&onlyTimer, signal);
    pthread_sigmask(SIG_SETMASK, &onlyTimer, &saved);

    sigevent event {};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = signal;
    event._sigev_un._tid = gettid();
    timer_t timer {};
    ssize_t result = -1;
    int error = 0;
    if (timer_create(CLOCK_MONOTONIC, &event, &timer) != 0) {
        error = errno;
    } else {
        // usblp reports a failed block only to a blocking writer; non-blocking it counts every
        // block as written when it is submitted.
        const int flags = fcntl(fd, F_GETFL);
        const bool nonBlocking = flags >= 0 && (flags & O_NONBLOCK);
        if (flags < 0 || (nonBlocking && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0))
            error = errno;
        // The timer keeps firing after it expired: a signal that lands just before write()
        // starts to wait would otherwise be spent, and the write would wait for ever.
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
        } else if (timer_settime(timer, 0, &limit, nullptr) != 0) {
            error = errno;
        } else {
            result = ::write(fd, data, count);
            error = errno;
            // A stop and continue also interrupts the wait; that one is no timeout, and it
            // fails the write all the same, since the block may be in flight.
            if (result < 0 && error == EINTR && ElapsedMs(started) >= timeoutMs)
                error = ETIMEDOUT;
        }
        timer_delete(timer);
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
    static const Syscalls calls { &OpenNode, &::close, &Ioctl, &::read, &WriteWithin, &::poll };
    return calls;
}

} // namespace vornik::linux_backend
