// Debian's printing system in the test guest, as guest tests meet it: ipp-usb, CUPS's usb
// backend in discovery mode, and what they do to a printer's interface, its usblp node and
// udev's events. scripts/qemu-test.sh packs the programs at the paths Debian installs them
// (Debian 13's ipp-usb under /opt/trixie, with its own libraries).
#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace printsys {

// Milliseconds on the monotonic clock.
qint64 NowMs();

// A file that exists while this lives: a quirks line or section of the test's own.
class ScopedFile {
public:
    ScopedFile(QString path, const QByteArray &content);
    ~ScopedFile();
    ScopedFile(const ScopedFile &) = delete;
    ScopedFile &operator=(const ScopedFile &) = delete;

private:
    QString path_;
};

// The ipp-usb binaries the guest holds: Debian 12's where Debian installs it, and Debian 13's
// with the C library it was built for, under a folder of its own and started through that
// library's loader. Both read and write the same paths.
enum class IppUsbBuild { Debian12, Debian13 };

// `ipp-usb standalone`: serves every IPP-over-USB printer there is and that comes, until
// stopped. It writes nothing to its standard streams; what it did is in its log files.
class IppUsb {
public:
    explicit IppUsb(IppUsbBuild build = IppUsbBuild::Debian12);
    ~IppUsb();
    // Waits until its main log says it has started.
    bool start(QString *why);
    // SIGTERM, as systemd stops it; true when it exited within the time.
    bool stop();
    bool running() const;
    // Waits until its logs since start() contain `text`.
    bool waitForLog(const QString &text, int timeoutMs);
    // Its main log and the per-device logs since start(), for failure messages.
    QString log() const;

private:
    IppUsbBuild build_;
    QProcess process_;
    qint64 mainLogStart_ = 0;
};

// CUPS's usb backend run again and again with no arguments, as cupsd runs it to discover
// printers, on a thread of its own.
class BackendDiscoveryLoop {
public:
    struct Round {
        qint64 startMs = 0;
        qint64 endMs = 0;
        int exitCode = -1;
        QByteArray output; // the "direct usb://..." lines
    };
    ~BackendDiscoveryLoop();
    void start();
    // Waits until `rounds` rounds have ended or `timeoutMs` passed.
    bool waitForRounds(int rounds, int timeoutMs);
    // Ends the loop after the round in progress.
    void stop();
    QList<Round> rounds() const;

private:
    std::thread thread_;
    std::atomic<bool> stopping_ { false };
    mutable std::mutex mutex_;
    QList<Round> rounds_;
};

// Events of one subsystem as a program's udev monitor receives them once udevd has processed
// them, or (kernelSide) as the kernel sends them, when its node is made or gone. Each as
// "ACTION NAME" (e.g. "add lp0").
class UdevEvents {
public:
    struct Event {
        QString action;
        QString name;
        double seconds = 0; // when the monitor received it, on the monotonic clock
    };
    explicit UdevEvents(const QString &subsystem, bool kernelSide = false);
    ~UdevEvents();
    // Waits until udevd has processed everything so far; the events to then.
    QStringList settled();
    QList<Event> settledEvents();

private:
    QProcess monitor_;
    QByteArray partial_;
    QList<Event> events_;
};

// How long each time the node `name` was away: from each "remove" to the next "add".
QList<qint64> AwayMs(const QList<UdevEvents::Event> &events, const QString &name);

// The printer's USB device in sysfs (e.g. /sys/bus/usb/devices/1-1) by its serial number;
// empty when not on the bus.
QString UsbDevicePath(const QString &serial);
// The driver an interface of the device is bound to: "usblp", "usbfs" (a program claimed it),
// or "none".
QString InterfaceDriver(const QString &devicePath, int interface);
// The usblp node's name of the interface ("lp0"), empty when there is none.
QString UsbmiscNode(const QString &devicePath, int interface);
// The device's node in /dev/bus/usb as "GID MODE" (octal), as udevd left it.
QString UsbDeviceNodeAccess(const QString &devicePath);

} // namespace printsys
