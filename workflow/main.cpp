// The product's entry: the window over the machine's own printers and the embedded image.
#include "firmware/embedded_image.h"
#include "printer_link/platform.h"
#include "ui/form1.h"
#include "ui/ui_message.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

int main(int, char **)
{
    // The tool takes no arguments, and the toolkit gets none either.
    int argc = 1;
    char name[] = "VornikFDU";
    char *argv[] = { name, nullptr };
    QApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication app(argc, argv);

    vornik::InstallDefaultPlatform();
    InstallQtErrorBox();
    try {
        Form1 window(BuildTexts::fromBuild(), &vornik::EmbeddedFirmwareImage());
        window.show();
        if (!window.closedDuringLoad())
            app.exec();
    } catch (const std::exception &error) {
        QMessageBox::critical(nullptr, QStringLiteral("FDU Tool"), QString::fromUtf8(error.what()));
    }
    return 0;
}
