#include "print_system.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <chrono>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace printsys {

namespace {

const QString kIppUsbLogDir = QStringLiteral("/var/log/ipp-usb");
const QString kIppUsbMainLog = QStringLiteral("/var/log/ipp-usb/main.log");

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString ReadTrimmed(const QString &path)
{
    return QString::fromLatin1(ReadAll(path)).trimmed();
}

} // namespace

qint64 NowMs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

ScopedFile::ScopedFile(QString path, const QByteArray &content)
    : path_(std::move(path))
{
    QDir().mkpath(QFileInfo(path_).path());
    QFile file(path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) < 0)
        qWarning("cannot write %s", qPrintable(path_));
}

ScopedFile::~ScopedFile()
{
    QFile::remove(path_);
}

IppUsb::IppUsb(IppUsbBuild build)
    : build_(build)
{ }

IppUsb::~IppUsb()
{
    stop();
}

bool IppUsb::start(QString *why)
{
    // The per-device logs of an earlier run would answer waitForLog() for this one.
    for (const QString &name : QDir(kIppUsbLogDir).entryList(QDir::Files))
        QFile::remove(kIppUsbLogDir + QLatin1Char('/') + name);
    // The main log keeps what earlier runs wrote; only what this one writes counts.
    mainLogStart_ = QFileInfo(kIppUsbMainLog).size();
    if (build_ == IppUsbBuild::Debian12) {
        process_.start(QStringLiteral("/sbin/ipp-usb"), { QStringLiteral("standalone") });
    } else {
        process_.start(QStringLiteral("/opt/trixie/lib/ld-linux-x86-64.so.2"),
            { QStringLiteral("--library-path"), QStringLiteral("/opt/trixie/lib"),
                QStringLiteral("/opt/trixie/ipp-usb"), QStringLiteral("standalone") });
    }
    if (!process_.waitForStarted(5000)) {
        *why = QStringLiteral("cannot start ipp-usb: ") + process_.errorString();
        return false;
    }
    if (!waitForLog(QStringLiteral("ipp-usb started in \"standalone\" mode"), 20000)) {
        *why = QStringLiteral("ipp-usb did not start:\n") + log();
        return false;
    }
    return true;
}

bool IppUsb::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return process_.exitStatus() == QProcess::NormalExit;
    process_.terminate();
    if (process_.waitForFinished(15000))
        return process_.exitStatus() == QProcess::NormalExit;
    process_.kill();
    process_.waitForFinished(3000);
    return false;
}

bool IppUsb::running() const
{
    return process_.state() == QProcess::Running;
}

bool IppUsb::waitForLog(const QString &text, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (log().contains(text))
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

QString IppUsb::log() const
{
    QString text = QString::fromUtf8(ReadAll(kIppUsbMainLog).mid(mainLogStart_));
    for (const QString &name : QDir(kIppUsbLogDir).entryList({ QStringLiteral("*.log") }))
        if (name != QLatin1String("main.log"))
            text += QStringLiteral("\n--- %1\n").arg(name)
                + QString::fromUtf8(ReadAll(kIppUsbLogDir + QLatin1Char('/') + name));
    return text;
}

BackendDiscoveryLoop::~BackendDiscoveryLoop()
{
    stop();
}

void BackendDiscoveryLoop::start()
{
    stopping_ = false;
    thread_ = std::thread([this] {
        while (!stopping_) {
            Round round;
            round.startMs = NowMs();
            QProcess backend;
            backend.setProcessChannelMode(QProcess::SeparateChannels);
            backend.start(QStringLiteral("/usr/lib/cups/backend/usb"), QStringList());
            backend.waitForFinished(30000);
            round.endMs = NowMs();
            round.exitCode = backend.exitStatus() == QProcess::NormalExit ? backend.exitCode() : -1;
            round.output = backend.readAllStandardOutput();
            const std::lock_guard<std::mutex> lock(mutex_);
            rounds_ << round;
        }
    });
}

bool BackendDiscoveryLoop::waitForRounds(int rounds, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (this->rounds().size() < rounds) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

void BackendDiscoveryLoop::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
}

QList<BackendDiscoveryLoop::Round> BackendDiscoveryLoop::rounds() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return rounds_;
}

UdevEvents::UdevEvents(const QString &subsystem, bool kernelSide)
{
    monitor_.start(QStringLiteral("udevadm"),
        { QStringLiteral("monitor"),
            kernelSide ? QStringLiteral("--kernel") : QStringLiteral("--udev"),
            QStringLiteral("--subsystem-match=") + subsystem });
    monitor_.waitForStarted(5000);
    // It listens once it has said so.
    QDeadlineTimer deadline(5000);
    while (!partial_.contains("UDEV - the event") && !deadline.hasExpired()) {
        monitor_.waitForReadyRead(100);
        partial_ += monitor_.readAllStandardOutput();
    }
    partial_.clear();
}

UdevEvents::~UdevEvents()
{
    monitor_.kill();
    monitor_.waitForFinished(2000);
}

QStringList UdevEvents::settled()
{
    QStringList lines;
    for (const Event &event : settledEvents())
        lines << event.action + QLatin1Char(' ') + event.name;
    return lines;
}

QList<UdevEvents::Event> UdevEvents::settledEvents()
{
    QProcess::execute(
        QStringLiteral("udevadm"), { QStringLiteral("settle"), QStringLiteral("--timeout=20") });
    // The monitor prints what udevd has sent it by then within a moment.
    monitor_.waitForReadyRead(300);
    partial_ += monitor_.readAllStandardOutput();
    // UDEV  [57.123456] add      /devices/.../usbmisc/lp0 (usbmisc), or KERNEL[...] alike
    static const QRegularExpression line(
        QStringLiteral(R"(^(?:UDEV|KERNEL)\s*\[([\d.]+)\]\s+(\w+)\s+\S*/(\S+)\s)"));
    qsizetype end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        const QRegularExpressionMatch match = line.match(QString::fromLatin1(partial_.left(end)));
        if (match.hasMatch())
            events_ << Event { match.captured(2), match.captured(3), match.captured(1).toDouble() };
        partial_.remove(0, end + 1);
    }
    return events_;
}

QList<qint64> AwayMs(const QList<UdevEvents::Event> &events, const QString &name)
{
    QList<qint64> away;
    double removed = -1;
    for (const UdevEvents::Event &event : events) {
        if (event.name != name)
            continue;
        if (event.action == QLatin1String("remove"))
            removed = event.seconds;
        else if (event.action == QLatin1String("add") && removed >= 0)
            away << qRound64((event.seconds - removed) * 1000);
        if (event.action == QLatin1String("add"))
            removed = -1;
    }
    return away;
}

QString UsbDevicePath(const QString &serial)
{
    const QString root = QStringLiteral("/sys/bus/usb/devices/");
    for (const QString &name : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!name.contains(QLatin1Char(':')) && ReadTrimmed(root + name + "/serial") == serial)
            return root + name;
    }
    return {};
}

namespace {

QString InterfacePath(const QString &devicePath, int interface)
{
    const QString name = QFileInfo(devicePath).fileName();
    return QStringLiteral("%1/%2:%3.%4")
        .arg(devicePath, name, ReadTrimmed(devicePath + "/bConfigurationValue"))
        .arg(interface);
}

} // namespace

QString InterfaceDriver(const QString &devicePath, int interface)
{
    const QString link
        = QFileInfo(InterfacePath(devicePath, interface) + "/driver").symLinkTarget();
    return link.isEmpty() ? QStringLiteral("none") : QFileInfo(link).fileName();
}

QString UsbmiscNode(const QString &devicePath, int interface)
{
    const QStringList nodes = QDir(InterfacePath(devicePath, interface) + "/usbmisc")
                                  .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return nodes.isEmpty() ? QString() : nodes.first();
}

QString UsbDeviceNodeAccess(const QString &devicePath)
{
    const QString node
        = QStringLiteral("/dev/bus/usb/%1/%2")
              .arg(ReadTrimmed(devicePath + "/busnum").toInt(), 3, 10, QLatin1Char('0'))
              .arg(ReadTrimmed(devicePath + "/devnum").toInt(), 3, 10, QLatin1Char('0'));
    struct stat info { };
    if (::stat(QFile::encodeName(node).constData(), &info) != 0)
        return QStringLiteral("no node");
    return QStringLiteral("%1 %2").arg(info.st_gid).arg(info.st_mode & 07777, 0, 8);
}

} // namespace printsys
