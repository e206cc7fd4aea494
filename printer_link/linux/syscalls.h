// The system calls of the Linux backend, as a table of plain function pointers.
//
// The backend makes every call on a device node through this table, never directly, so a test
// can hand it a table of fakes and play a printer that stalls, vanishes or answers in pieces.
#pragma once

#include <poll.h>
#include <sys/types.h>

namespace vornik::linux_backend {

struct Syscalls {
    int (*open)(const char *path, int flags);
    int (*close)(int fd);
    int (*ioctl)(int fd, unsigned long request, void *argument);
    ssize_t (*read)(int fd, void *buffer, size_t count);
    // A blocking write of one driver block, bounded: it returns once the driver has finished
    // the block (its byte count) or failed it (-1 and errno), or fails with ETIMEDOUT when
    // `timeoutMs` have passed. A write that failed or timed out may have left its block in
    // flight; it must not be sent again. A non-blocking node is made blocking for the call
    // only; the thread's signal mask is as it was afterwards.
    ssize_t (*writeWithin)(int fd, const void *data, size_t count, int timeoutMs);
    int (*poll)(pollfd *fds, nfds_t count, int timeoutMs);
    // Clears O_NONBLOCK for good, for a node that is only ever written: its writes then skip
    // switching the mode around every block.
    int (*makeBlocking)(int fd);
};

// The real calls of the C library.
const Syscalls &RealSyscalls();

} // namespace vornik::linux_backend
