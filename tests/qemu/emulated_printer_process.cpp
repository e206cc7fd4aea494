#include "emulated_printer_process.h"

#include "printer_link/device_table.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>

namespace {

QString ProgramPath()
{
    const QString fromEnvironment = qEnvironmentVariable("VORNIK_EMULATED_PRINTER");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/vornik_emulated_printer");
}

} // namespace

std::unique_ptr<EmulatedPrinter> EmulatedPrinter::started(int udc, QString serial, Config config)
{
    config.udc = QStringLiteral("dummy_udc.%1").arg(udc);
    config.serial = std::move(serial);
    auto printer = std::make_unique<EmulatedPrinter>(std::move(config));
    QString why;
    if (printer->start(&why))
        return printer;
    qWarning("%s", qPrintable(why));
    return nullptr;
}

EmulatedPrinter::EmulatedPrinter(Config config)
    : config_(std::move(config))
{
    // Its complaints belong in the test's log.
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

EmulatedPrinter::~EmulatedPrinter()
{
    quit();
}

bool EmulatedPrinter::start(QString *why)
{
    const qsizetype blank = config_.product.indexOf(' ');
    QStringList arguments { QStringLiteral("--udc"), config_.udc, QStringLiteral("--serial"),
        config_.serial, QStringLiteral("--mfg"), config_.product.left(blank),
        QStringLiteral("--mdl"), config_.product.mid(blank + 1), QStringLiteral("--status"),
        config_.status, QStringLiteral("--fault"), config_.fault };
    if (config_.startInDownloadMode)
        arguments << QStringLiteral("--start-in-download-mode") << QStringLiteral("yes");
    if (config_.imageBytes > 0) {
        arguments << QStringLiteral("--image-bytes") << QString::number(config_.imageBytes)
                  << QStringLiteral("--image-sha256") << QString::fromLatin1(config_.imageSha256);
    }
    arguments << config_.extraArguments;
    process_.start(ProgramPath(), arguments);
    if (!process_.waitForStarted(5000)) {
        *why = QStringLiteral("cannot start %1: %2").arg(ProgramPath(), process_.errorString());
        return false;
    }
    if (waitFor(QStringLiteral("joined "), 10000).isNull()) {
        *why = QStringLiteral("the printer on %1 did not join the bus:\n%2")
                   .arg(config_.udc, transcript());
        return false;
    }
    return true;
}

bool EmulatedPrinter::control(const QString &line)
{
    process_.write(line.toUtf8() + '\n');
    process_.waitForBytesWritten(2000);
    // Acknowledgements are counted apart from the other events, so that waiting for one passes
    // over nothing the test still wants to see.
    const QString acknowledgement = QStringLiteral("control ") + line;
    const QDeadlineTimer deadline(5000);
    for (;;) {
        pull();
        for (; nextAcknowledgement_ < events_.size(); ++nextAcknowledgement_) {
            if (events_[nextAcknowledgement_] == acknowledgement) {
                ++nextAcknowledgement_;
                return true;
            }
        }
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
            return false;
        process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
}

void EmulatedPrinter::pull()
{
    partial_ += process_.readAllStandardOutput();
    qsizetype end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        events_ << QString::fromUtf8(partial_.left(end));
        partial_.remove(0, end + 1);
    }
}

QString EmulatedPrinter::waitFor(const QString &prefix, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        pull();
        for (qsizetype i = next_; i < events_.size(); ++i) {
            if (events_[i].startsWith(prefix)) {
                next_ = i + 1;
                return events_[i].mid(prefix.size());
            }
        }
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
            return {};
        process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
}

void EmulatedPrinter::skipEvents()
{
    pull();
    next_ = events_.size();
}

QString EmulatedPrinter::transcript() const
{
    return QStringLiteral("  ") + events_.join(QStringLiteral("\n  "));
}

void EmulatedPrinter::quit()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
    }
    pull();
}

QString DescribeDeviceTable(const USBPrinterClassDeviceInfo &table)
{
    QString text = QStringLiteral("%1 listed").arg(table.DeviceCount);
    for (int i = 0; i < table.DeviceCount && i < vornik::contract::kMaxPrinters; ++i) {
        text += QStringLiteral("\n  %1 \"%2\" SN \"%3\"")
                    .arg(QString::fromUtf16(table.DevicePath[i]),
                        QString::fromUtf16(table.ProductName[i]),
                        QString::fromUtf16(table.SerialNumber[i]));
    }
    return text;
}

QByteArray EmulatedPrinter::sha256Hex(const QByteArray &image)
{
    return QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();
}

QByteArray TestImage(qsizetype size, int seed)
{
    QByteArray image(size, Qt::Uninitialized);
    std::uint32_t state = 0x9E3779B9u * static_cast<std::uint32_t>(seed + 1);
    for (qsizetype i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        image[i] = static_cast<char>(state >> 24);
    }
    return image;
}
