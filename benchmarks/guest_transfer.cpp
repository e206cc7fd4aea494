// The figure that stands for a real printer: inside the QEMU guest of scripts/qemu-test.sh, the
// transfer of a 16 MiB image through the Linux backend and the kernel's usblp driver to an
// emulated printer on a dummy USB controller, against dd writing the same bytes to the same
// device node. Each run has a fresh printer in download mode that checks what it received
// (SHA-256); a run whose image did not arrive whole spoils the figure.
//
// Run by scripts/qemu-test.sh when VORNIK_QEMU_BENCHMARK=1; prints its figures to the guest's
// console and exits non-zero when it could not take them.
#include "../tests/qemu/emulated_printer_process.h"

#include "firmware/firmware_image.h"
#include "firmware/transfer.h"
#include "printer_link/platform.h"
#include "printer_link/printer_link.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr qsizetype kImageBytes = 16 * 1024 * 1024;
constexpr int kRunsEach = 5;
const QString kSerial = QStringLiteral("BENCH-G1");

QByteArray Image()
{
    QByteArray image(kImageBytes, Qt::Uninitialized);
    std::uint32_t state = 0x2545F491u;
    for (qsizetype i = 0; i < image.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        image[i] = static_cast<char>(state >> 24);
    }
    return image;
}

// The printer's device node, once the backend lists it under the serial number.
QString ListedPath()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (Lib_EnumeratePrinterClassPnPDevices(&gUSBPrinterClassDeviceInfo) != 0) {
            for (int i = 0; i < gUSBPrinterClassDeviceInfo.DeviceCount; ++i) {
                if (QString::fromUtf16(gUSBPrinterClassDeviceInfo.SerialNumber[i]) == kSerial)
                    return QString::fromUtf16(gUSBPrinterClassDeviceInfo.DevicePath[i]);
            }
        }
        QThread::msleep(100);
    }
    return {};
}

// One run: a fresh printer, one way of sending, the printer's verdict. Seconds, or -1.
double Run(const QByteArray &image, const QString &imageFile, bool ours)
{
    EmulatedPrinter::Config config;
    config.udc = QStringLiteral("dummy_udc.0");
    config.serial = kSerial;
    config.startInDownloadMode = true;
    config.imageBytes = image.size();
    config.imageSha256 = EmulatedPrinter::sha256Hex(image);
    EmulatedPrinter printer(config);
    QString why;
    if (!printer.start(&why)) {
        std::printf("    %s\n", qPrintable(why));
        return -1;
    }
    const QString path = ListedPath();
    if (path.isEmpty()) {
        std::printf("    the backend did not list the printer\n");
        return -1;
    }
    QElapsedTimer timer;
    timer.start();
    bool sent = false;
    if (ours) {
        vornik::MemoryFirmwareImage source(
            reinterpret_cast<const std::uint8_t *>(image.constData()), std::uint32_t(image.size()));
        vornik::TransferMessages messages;
        messages.failure
            = [](const std::string &text) { std::printf("    transfer: %s\n", text.c_str()); };
        const std::u16string devicePath = path.toStdU16String();
        sent = vornik::CopyFirmwareImageToPrinter(source, devicePath.c_str(), messages) == 1;
    } else {
        QProcess dd;
        dd.start(QStringLiteral("dd"),
            { QStringLiteral("if=") + imageFile, QStringLiteral("of=") + path,
                QStringLiteral("bs=64K") });
        dd.waitForFinished(-1);
        sent = dd.exitStatus() == QProcess::NormalExit && dd.exitCode() == 0;
        if (!sent)
            std::printf("    dd: %s\n", dd.readAllStandardError().constData());
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    // Only a printer that received every byte, unchanged, makes the time count.
    const QString verdict = printer.waitFor(QStringLiteral("image "), 30000);
    if (!sent || !verdict.startsWith(QStringLiteral("ok "))) {
        std::printf("    %s run failed: sent %d, printer: %s\n", ours ? "VornikFDU" : "dd", sent,
            qPrintable(verdict.isNull() ? QStringLiteral("no verdict") : verdict));
        return -1;
    }
    return seconds;
}

struct Figure {
    double median, low, high;
};

Figure MiBPerSecond(std::vector<double> seconds)
{
    std::vector<double> rates;
    for (const double s : seconds)
        rates.push_back(kImageBytes / (1024.0 * 1024.0) / s);
    std::sort(rates.begin(), rates.end());
    return { rates[rates.size() / 2], rates.front(), rates.back() };
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!QDir(QStringLiteral("/sys/class/udc/dummy_udc.0")).exists()) {
        std::printf("No dummy USB controller: this runs in the guest of scripts/qemu-test.sh\n");
        return 2;
    }
    ResetPrinterLinkState();
    vornik::InstallDefaultPlatform();
    vornik::InstallErrorBox([](const std::u16string &text, const std::u16string &) {
        std::printf("    error box: %s\n", qPrintable(QString::fromStdU16String(text)));
    });

    const QByteArray image = Image();
    const QString imageFile = QStringLiteral("/tmp/guest-benchmark-image.bin");
    QFile file(imageFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size()) {
        std::printf("Cannot write %s\n", qPrintable(imageFile));
        return 2;
    }
    file.close();

    std::printf("guest benchmark: a %lld-byte image to an emulated printer through usblp, "
                "%d alternated runs each (median MiB/s, lowest to highest)\n",
        static_cast<long long>(kImageBytes), kRunsEach);
    std::fflush(stdout);
    std::vector<double> ours, dd;
    for (int run = 0; run < kRunsEach; ++run) {
        // Alternated, so neither side always meets the printer stack right after the other.
        const bool oursFirst = run % 2 == 0;
        const double first = Run(image, imageFile, oursFirst);
        const double second = Run(image, imageFile, !oursFirst);
        if (first < 0 || second < 0)
            return 1;
        (oursFirst ? ours : dd).push_back(first);
        (oursFirst ? dd : ours).push_back(second);
    }
    const Figure o = MiBPerSecond(ours);
    const Figure d = MiBPerSecond(dd);
    std::printf("    VornikFDU %6.2f (%6.2f to %6.2f)   dd %6.2f (%6.2f to %6.2f)   ratio %.2f\n",
        o.median, o.low, o.high, d.median, d.low, d.high, o.median / d.median);
    QFile::remove(imageFile);
    return 0;
}
