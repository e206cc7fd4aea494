// Figures, not tests: what the transfer, start-up and an update run cost on this machine.
//
//   (a) transfer throughput of the embedded image to /dev/null and to a pipe drained by another
//       process, against dd reading the same bytes from this program's own file, to the same
//       sink: both warm, alternated, medians and spread of several runs;
//   (b) start-up to a shown, ready main window with the image embedded, against a bare Qt window;
//   (c) CPU time of the user-interface thread during a one-printer run on the real clock;
//   (d) peak memory of a transfer.
//
// Run: build/benchmarks/vornik_benchmarks [--quick]. The figures go to standard output.
#include "firmware/embedded_image.h"
#include "firmware/transfer.h"
#include "printer_link/platform.h"
#include "printer_link/simulated/simulated_printers.h"
#include "printer_link/simulated/virtual_clock.h"
#include "ui/form1.h"
#include "workflow/printer_info.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef VORNIK_IMAGE_PATH
#error "VORNIK_IMAGE_PATH names the image file the build embedded"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double MiBPerSecond(std::uint64_t bytes, double seconds)
{
    return bytes / (1024.0 * 1024.0) / seconds;
}

// A process that drains a named pipe into /dev/null, started before the writer opens it.
struct PipeDrain {
    QProcess process;
    explicit PipeDrain(const QString &fifo)
    {
        process.start(QStringLiteral("sh"),
            { QStringLiteral("-c"), QStringLiteral("exec cat \"$0\" > /dev/null"), fifo });
        process.waitForStarted();
    }
    ~PipeDrain() { process.waitForFinished(60000); }
};

double TimeOurTransfer(const QString &sink)
{
    vornik::FirmwareImageSource &image = vornik::EmbeddedFirmwareImage();
    vornik::TransferMessages messages;
    messages.failure
        = [](const std::string &text) { std::fprintf(stderr, "transfer: %s\n", text.c_str()); };
    const std::u16string path = sink.toStdU16String();
    const auto start = Clock::now();
    int result = 0;
    // A pipe's writer may open before the reader has: try again for a moment.
    for (int attempt = 0; attempt < 200 && result == 0; ++attempt) {
        result = vornik::CopyFirmwareImageToPrinter(image, path.c_str(), messages);
        if (result == 0)
            usleep(5000);
    }
    const double seconds = Seconds(Clock::now() - start);
    return result == 1 ? seconds : -1;
}

// Where the embedded image lies in this program's file: from the mapping that holds it, so dd
// can read exactly the bytes the transfer sends, from the same file.
struct ImageInFile {
    QString file;
    std::uint64_t offset = 0;
    bool found = false;
};

ImageInFile LocateImage()
{
    ImageInFile where;
    vornik::FirmwareImageSource &image = vornik::EmbeddedFirmwareImage();
    const auto address = reinterpret_cast<std::uintptr_t>(image.data());
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        unsigned long long from = 0, to = 0, offset = 0;
        char path[4096] = {};
        if (std::sscanf(
                line.c_str(), "%llx-%llx %*s %llx %*s %*s %4095s", &from, &to, &offset, path)
            < 4)
            continue;
        if (address >= from && address < to) {
            where.file = QString::fromLocal8Bit(path);
            where.offset = offset + (address - from);
            where.found = true;
            break;
        }
    }
    if (!where.found)
        return where;
    // Proof that the offset is right: the image's first and last bytes, read from the file.
    std::ifstream file(where.file.toStdString(), std::ios::binary);
    const std::uint32_t probe = std::min<std::uint32_t>(4096, image.size());
    std::string head(probe, '\0'), tail(probe, '\0');
    file.seekg(std::streamoff(where.offset));
    file.read(head.data(), probe);
    file.seekg(std::streamoff(where.offset + image.size() - probe));
    file.read(tail.data(), probe);
    where.found = file && std::memcmp(head.data(), image.data(), probe) == 0
        && std::memcmp(tail.data(), image.data() + image.size() - probe, probe) == 0;
    return where;
}

double TimeDd(const ImageInFile &image, const QString &sink)
{
    const auto start = Clock::now();
    const int status = QProcess::execute(QStringLiteral("dd"),
        { QStringLiteral("if=") + image.file, QStringLiteral("of=") + sink,
            QStringLiteral("bs=64K"), QStringLiteral("iflag=skip_bytes,count_bytes"),
            QStringLiteral("skip=%1").arg(image.offset),
            QStringLiteral("count=%1").arg(vornik::EmbeddedFirmwareImage().size()),
            QStringLiteral("status=none") });
    const double seconds = Seconds(Clock::now() - start);
    return status == 0 ? seconds : -1;
}

struct Spread {
    double median = -1, low = -1, high = -1;
};

// Throughputs in MiB/s of the runs' times; one failed run makes the whole figure invalid.
Spread Throughputs(const std::vector<double> &seconds, std::uint64_t bytes)
{
    if (seconds.empty() || *std::min_element(seconds.begin(), seconds.end()) <= 0)
        return {};
    std::vector<double> rates;
    for (const double s : seconds)
        rates.push_back(MiBPerSecond(bytes, s));
    std::sort(rates.begin(), rates.end());
    return { rates[rates.size() / 2], rates.front(), rates.back() };
}

void TransferThroughput(int runs)
{
    const std::uint64_t bytes = vornik::EmbeddedFirmwareImage().size();
    const ImageInFile image = LocateImage();
    std::printf("(a) transfer of the %llu-byte image: median MiB/s (lowest to highest) of %d "
                "alternated runs each, after one unmeasured run each\n",
        static_cast<unsigned long long>(bytes), runs);
    if (!image.found) {
        std::printf("    the image was not found in this program's file: no figure\n");
        return;
    }
    std::printf("    dd reads the same bytes from %s, from byte %llu\n",
        image.file.toLocal8Bit().constData(), static_cast<unsigned long long>(image.offset));
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("sink"));
    mkfifo(fifo.toLocal8Bit().constData(), 0600);
    for (const QString &sink : { QStringLiteral("/dev/null"), fifo }) {
        const bool isPipe = sink == fifo;
        const auto ours = [&] {
            std::unique_ptr<PipeDrain> drain(isPipe ? new PipeDrain(fifo) : nullptr);
            return TimeOurTransfer(sink);
        };
        const auto dd = [&] {
            std::unique_ptr<PipeDrain> drain(isPipe ? new PipeDrain(fifo) : nullptr);
            return TimeDd(image, sink);
        };
        // Warm: this program's mapping and the page cache dd reads from both hold the image.
        ours();
        dd();
        std::vector<double> oursSeconds, ddSeconds;
        for (int run = 0; run < runs; ++run) {
            // Alternated, so neither side always runs right after the other.
            if (run % 2 == 0) {
                oursSeconds.push_back(ours());
                ddSeconds.push_back(dd());
            } else {
                ddSeconds.push_back(dd());
                oursSeconds.push_back(ours());
            }
        }
        const Spread o = Throughputs(oursSeconds, bytes);
        if (!isPipe) {
            // Where the time beyond dd's goes: each transfer fills a fresh working copy, and the
            // kernel hands it over page by page.
            rusage before {}, after {};
            getrusage(RUSAGE_SELF, &before);
            ours();
            getrusage(RUSAGE_SELF, &after);
            std::printf("    page faults of one transfer: %ld (the image is %llu pages of 4 KiB)\n",
                after.ru_minflt - before.ru_minflt,
                static_cast<unsigned long long>((bytes + 4095) / 4096));
        }
        const Spread d = Throughputs(ddSeconds, bytes);
        std::printf("    %-23s VornikFDU %7.1f (%7.1f to %7.1f)   dd %7.1f (%7.1f to %7.1f)   "
                    "ratio %.2f\n",
            isPipe ? "pipe to another process" : "/dev/null", o.median, o.low, o.high, d.median,
            d.low, d.high, o.median / d.median);
    }
}

// Child modes for (b): print the time from the parent's start mark to a shown window.
int StartupChild(const char *mode, long long startNs)
{
    int argc = 1;
    char name[] = "vornik_benchmarks";
    char *argv[] = { name, nullptr };
    QApplication app(argc, argv);
    vornik::sim::VirtualClock clock;
    vornik::sim::SimulatedPrinters printers(clock);
    vornik::InstallPlatform(&printers, &clock);
    std::unique_ptr<QWidget> window;
    if (std::strcmp(mode, "form") == 0) {
        auto form
            = std::make_unique<Form1>(BuildTexts::fromBuild(), &vornik::EmbeddedFirmwareImage());
        form->dialogRunner = [](UI_Message &) {};
        window = std::move(form);
    } else {
        window = std::make_unique<QWidget>();
        window->resize(907, 416);
    }
    window->show();
    QCoreApplication::processEvents();
    const long long now
        = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
              .count();
    std::printf("%.1f\n", (now - startNs) / 1e6);
    return 0;
}

double MedianStartup(const QString &self, const char *mode)
{
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        QProcess child;
        child.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        const long long start
            = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
                  .count();
        child.start(self,
            { QStringLiteral("--startup"), QString::fromLatin1(mode), QString::number(start) });
        child.waitForFinished(30000);
        runs.push_back(child.readAllStandardOutput().trimmed().toDouble());
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

void Startup(const QString &self)
{
    const double form = MedianStartup(self, "form");
    const double bare = MedianStartup(self, "bare");
    std::printf("(b) start-up to a shown window (median of 5 processes)\n");
    std::printf(
        "    VornikFDU main window, ready %8.1f ms   bare Qt window %8.1f ms   ratio %.2f\n", form,
        bare, form / bare);
}

double ThreadCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void RunCpu(bool quick)
{
    // Real time; the printer leaves the bus and stores quickly so the run is as short as the
    // tool's own polls allow.
    vornik::sim::ScaledRealClock clock(quick ? 10 : 1);
    vornik::sim::SimulatedPrinters printers(clock);
    vornik::InstallPlatform(&printers, &clock);
    vornik::sim::PrinterConfig config;
    config.serial = "BENCH1";
    config.leaveBusAfterMs = 500;
    config.reappearAfterMs = 500;
    config.storeTimeMs = 1000;
    config.expectedImageBytes = vornik::EmbeddedFirmwareImage().size();
    printers.attach(config);

    Form1 form(BuildTexts::fromBuild(), &vornik::EmbeddedFirmwareImage());
    form.dialogRunner = [](UI_Message &) {};
    form.show();
    form.SupportedPrinterCheckedListBox->item(0)->setCheckState(Qt::Checked);
    const double cpuStart = ThreadCpuSeconds();
    const auto wallStart = Clock::now();
    form.App_StartButton_Handler();
    const double wall = Seconds(Clock::now() - wallStart);
    const double cpu = ThreadCpuSeconds() - cpuStart;
    std::printf("(c) one-printer run on the %s clock\n", quick ? "10x" : "real");
    std::printf("    wall %6.1f s   user-interface thread CPU %6.3f s   (%.2f %% of wall)\n", wall,
        cpu, 100.0 * cpu / wall);
    vornik::InstallPlatform(nullptr, nullptr);
}

long PeakKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

int PeakChild()
{
    vornik::InstallDefaultPlatform();
    const long before = PeakKiB();
    vornik::TransferMessages messages;
    const int ok = vornik::CopyFirmwareImageToPrinter(
        vornik::EmbeddedFirmwareImage(), u"/dev/null", messages);
    std::printf("%ld %ld %d\n", before, PeakKiB(), ok);
    return 0;
}

void PeakMemory(const QString &self)
{
    QProcess child;
    child.start(self, { QStringLiteral("--peak") });
    child.waitForFinished(60000);
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 3)
        return;
    std::printf("(d) peak resident memory of a transfer to /dev/null\n");
    std::printf("    before %ld MiB   peak %ld MiB   image %u MiB\n", fields[0].toLong() / 1024,
        fields[1].toLong() / 1024, vornik::EmbeddedFirmwareImage().size() >> 20);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--startup") == 0)
        return StartupChild(argv[2], std::atoll(argv[3]));
    if (argc == 2 && std::strcmp(argv[1], "--peak") == 0)
        return PeakChild();
    const bool quick = argc == 2 && std::strcmp(argv[1], "--quick") == 0;

    QApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();
    vornik::InstallDefaultPlatform();
    TransferThroughput(quick ? 7 : 9);
    Startup(self);
    RunCpu(quick);
    PeakMemory(self);
    return 0;
}
