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

#include <algorithm>

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
    // Side by side when the screen has room for both, else the bench below the window.
    if (const QScreen *screen = window.screen()) {
        const QRect area = screen->availableGeometry();
        const QSize benchSize = bench.frameGeometry().size();
        const QRect main = window.frameGeometry();
        const int gap = 16;
        if (main.width() + gap + benchSize.width() <= area.width()) {
            const int left
                = area.left() + (area.width() - main.width() - gap - benchSize.width()) / 2;
            window.move(left, main.top());
            bench.move(left + main.width() + gap, main.top());
        } else {
            bench.move(
                main.left(), std::min(main.bottom() + gap, area.bottom() - benchSize.height()));
        }
    }
    bench.show();
    app.exec();
    return 0;
}
