// The printer bench: the product's window over simulated printers, with a bench window beside
// it to attach, detach and misbehave them. For first looks, rehearsals, training and support;
// the product itself never contains the simulation.
//
//   VornikFDU-bench                      the bench, for a person at a display
//   VornikFDU-bench --rehearse [DIR]     a whole run played by itself, screenshots in DIR
//   VornikFDU-bench --speed 10           the bench with its printers' clock 10 times faster
#include "bench_window.h"
#include "rehearsal.h"

#include "firmware/embedded_image.h"
#include "printer_link/simulated/virtual_clock.h"
#include "ui/form1.h"
#include "ui/log.h"
#include "ui/message_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QDir>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// Whether a person could see the bench. The offscreen and minimal platforms draw nowhere, so
// the interactive bench would sit there unseen for ever.
bool HasDisplay()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal"))
        return false;
#ifdef Q_OS_LINUX
    return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty()
        || !platform.isEmpty();
#else
    return true;
#endif
}

const char kUsage[] = "Usage: VornikFDU-bench [--speed FACTOR] [--rehearse [SCREENSHOT_DIR]]\n"
                      "  without arguments: the bench, for a person at a display\n"
                      "  --speed: the printers' clock runs 1, 10 or 50 times faster, as the\n"
                      "    bench's own choice of printer clock sets it\n"
                      "  --rehearse: an update run of three printers played by itself on a fast\n"
                      "    clock; prints every status, keeps screenshots (default: the folder\n"
                      "    'rehearsal' beside the bench's build folder) and exits 0 when every\n"
                      "    printer ended as its behaviour predicts, 1 when not, 2 when it could\n"
                      "    not drive the window, 3 when the run had not ended after ten minutes.\n"
                      "    Runs without a display.\n";

} // namespace

int main(int argc, char **argv)
{
    // Parsed before the application exists: whether there is a display decides the platform
    // the application is made with.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    const QCommandLineOption helpOption(
        QStringList { QStringLiteral("h"), QStringLiteral("help") });
    const QCommandLineOption rehearseOption(QStringLiteral("rehearse"));
    const QCommandLineOption speedOption(QStringLiteral("speed"), {}, QStringLiteral("FACTOR"));
    parser.addOption(helpOption);
    parser.addOption(rehearseOption);
    parser.addOption(speedOption);
    parser.addPositionalArgument(QStringLiteral("SCREENSHOT_DIR"), {}, QStringLiteral("[DIR]"));
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s\n%s", qPrintable(parser.errorText()), kUsage);
        return 2;
    }
    if (parser.isSet(helpOption)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const bool rehearse = parser.isSet(rehearseOption);
    const QStringList positional = parser.positionalArguments();
    // A folder only goes with --rehearse, and only one.
    if (positional.size() > (rehearse ? 1 : 0)) {
        std::fprintf(stderr, "Unknown argument: %s\n%s", qPrintable(positional.back()), kUsage);
        return 2;
    }
    QString outputDir = positional.value(0);
    if (!HasDisplay()) {
        if (!rehearse) {
            std::fputs("No display found. The bench needs one; without it, watch a whole run "
                       "played by itself:\n  VornikFDU-bench --rehearse\n",
                stderr);
            return 1;
        }
        // Nobody watches: the windows are drawn off screen, for the screenshots.
        if (qgetenv("QT_QPA_PLATFORM").isEmpty())
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }

#ifdef Q_OS_WIN
    // The rehearsal writes UTF-8 on every system, so that its logs compare; a console shows it
    // right only once told.
    SetConsoleOutputCP(CP_UTF8);
#endif
    QApplication app(argc, argv);
    InstallStandardErrorLog();
    if (rehearse && outputDir.isEmpty())
        outputDir = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../rehearsal");

    vornik::sim::ScaledRealClock clock(1);
    vornik::sim::SimulatedPrinters printers(clock);
    vornik::InstallPlatform(&printers, &clock);
    InstallQtErrorBox();

    // The image is reached the way the transfer reaches it, and given back before any run: on
    // Windows it is a resource that is neither found nor mapped until asked for.
    vornik::FirmwareImageSource &image = vornik::EmbeddedFirmwareImage();
    std::uint32_t imageBytes = 0;
    QString sha256;
    if (image.openModule() && image.find() && image.load()) {
        if (image.data()) {
            imageBytes = image.size();
            const QByteArrayView bytes(image.data(), imageBytes);
            sha256 = QString::fromLatin1(
                QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        }
        image.release();
    }

    const BuildTexts texts = BuildTexts::fromBuild();
    BenchWindow bench(printers, texts.productName, imageBytes, sha256, &clock);
    bench.setAttribute(Qt::WA_QuitOnClose, false); // the program ends with the main window
    if (parser.isSet(speedOption)) {
        bool number = false;
        const int speed = bench.speedCombo->findData(parser.value(speedOption).toInt(&number));
        if (!number || speed < 0) {
            std::fprintf(
                stderr, "Unknown speed: %s\n%s", qPrintable(parser.value(speedOption)), kUsage);
            return 2;
        }
        bench.speedCombo->setCurrentIndex(speed);
    }
    if (!rehearse) {
        for (int i = 0; i < 2; ++i)
            bench.attachFromForm();
    }

    Form1 window(texts, &image);
    window.show();
    if (window.closedDuringLoad())
        return rehearse ? 2 : 0;
    // Drawn nowhere when rehearsing: where the windows lie does not matter there.
    if (!rehearse)
        PlaceBeside(window, bench);
    bench.show();
    // Again with the frame the desktop has now put around the bench.
    if (!rehearse)
        PlaceBeside(window, bench);
    if (rehearse) {
        Rehearsal rehearsal(bench, window, outputDir, stdout);
        return rehearsal.run();
    }
    app.exec();
    return 0;
}
