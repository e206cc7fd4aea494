#include "syscalls.h"

#include <fcntl.h>
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

} // namespace

const Syscalls &RealSyscalls()
{
    static const Syscalls calls { &OpenNode, &::close, &Ioctl, &::read, &::write, &::poll };
    return calls;
}

} // namespace vornik::linux_backend
