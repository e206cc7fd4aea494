// A notice descriptor in front of a device platform, for the tests of how device-change notices
// reach the window.
#pragma once

#include "printer_link/platform.h"

#include <QTest>

#include <functional>

#ifdef Q_OS_WIN
// Notices through a descriptor are the Linux road (a udev monitor); Windows has no such
// descriptor and sends WM_DEVICECHANGE to the window instead (tests/windows). A case that needs
// the descriptor starts with this.
#define SKIP_WITHOUT_NOTICE_DESCRIPTOR()                                                           \
    QSKIP("device notices through a descriptor exist only on Linux (udev)")
#include <io.h>
#else
#define SKIP_WITHOUT_NOTICE_DESCRIPTOR()
#include <fcntl.h>
#include <unistd.h>
#endif

// A platform (the simulated printers, usually) behind a notice descriptor, the way the Linux
// backend puts a udev monitor behind one: a byte written to the pipe is a kernel event, and the
// window learns of it only through its QSocketNotifier. It can also raise a notice on whatever
// thread calls notifyFromHere(), the way the simulated printers raise theirs.
class NoticePipePlatform : public vornik::DevicePlatform {
public:
    explicit NoticePipePlatform(vornik::DevicePlatform &inner)
        : inner_(inner)
    {
#ifndef Q_OS_WIN
        if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0)
            fds_[0] = fds_[1] = -1;
#endif
    }
    ~NoticePipePlatform() override
    {
#ifndef Q_OS_WIN
        ::close(fds_[0]);
        ::close(fds_[1]);
#endif
    }

    void kernelEvent(int count = 1)
    {
        for (int i = 0; i < count; ++i)
            QVERIFY(::write(fds_[1], "x", 1) == 1);
    }
    void notifyFromHere()
    {
        if (listener_)
            listener_();
    }

    int enumerations = 0;
    std::function<void()> duringEnumeration;

    bool beginEnumeration() override
    {
        ++enumerations;
        if (duringEnumeration)
            duringEnumeration();
        return inner_.beginEnumeration();
    }
    vornik::InterfaceLookup interfacePath(int index, std::u16string &path) override
    {
        return inner_.interfacePath(index, path);
    }
    void endEnumeration() override { inner_.endEnumeration(); }
    vornik::DeviceHandle open(const std::u16string &path, vornik::OpenMode mode) override
    {
        return inner_.open(path, mode);
    }
    bool queryDeviceId(vornik::DeviceHandle handle, std::uint8_t *buffer, std::size_t size) override
    {
        return inner_.queryDeviceId(handle, buffer, size);
    }
    bool write(vornik::DeviceHandle handle, const std::uint8_t *data, std::size_t size) override
    {
        return inner_.write(handle, data, size);
    }
    bool read(vornik::DeviceHandle handle, std::uint8_t *buffer, std::size_t capacity,
        std::size_t &got) override
    {
        return inner_.read(handle, buffer, capacity, got);
    }
    void close(vornik::DeviceHandle handle) override { inner_.close(handle); }
    bool isPresent(const std::u16string &path) override { return inner_.isPresent(path); }
    void setChangeListener(std::function<void()> listener) override
    {
        listener_ = listener;
        inner_.setChangeListener(std::move(listener));
    }
    int notificationFd() const override { return fds_[0]; }
    void readNotifications() override
    {
        char byte;
        while (::read(fds_[0], &byte, 1) == 1)
            notifyFromHere();
    }

private:
    vornik::DevicePlatform &inner_;
    int fds_[2] = { -1, -1 };
    std::function<void()> listener_;
};
