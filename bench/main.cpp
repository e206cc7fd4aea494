// The printer bench: the product's window over simulated printers, with a bench window beside
// it to attach, detach and misbehave them. For first looks, rehearsals, training and support;
// the product itself never contains the simulation.
#include "bench_window.h"

#include "firmware/embedded_image.h"
#include "printer_link/simulated/virtual_clock.h"
#include "ui/form1.h"
#include "ui/ui_message.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QScreen>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);

    vornik::sim::ScaledRealClock clock(1);
    vornik::sim::SimulatedPrinters printers(clock);
    vornik::InstallPlatform(&printers, &clock);
    InstallQtErrorBox();

    vornik::FirmwareImageSource &image = vornik::EmbeddedFirmwareImage();
    const QByteArrayView bytes(image.data(), image.size());
    const QString sha256
        = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());

    const BuildTexts texts = BuildTexts::fromBuild();
    BenchWindow bench(printers, texts.productName, image.size(), sha256, &clock);
    bench.setAttribute(Qt::WA_QuitOnClose, false); // the program ends with the main window
    for (int i = 0; i < 2; ++i)
        bench.attachFromForm();

    Form1 window(texts, &image);
    window.show();
    if (window.closedDuringLoad())
        return 0;
    const QRect main = window.frameGeometry();
    bench.move(main.right() + 16, main.top());
    if (const QScreen *screen = window.screen();
        screen && !screen->availableGeometry().contains(bench.frameGeometry()))
        bench.move(main.left(), main.bottom() + 16);
    bench.show();
    app.exec();
    return 0;
}
