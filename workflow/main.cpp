// The product's entry: the window over the machine's own printers and the embedded image.
#include "firmware/embedded_image.h"
#include "printer_link/platform.h"
#include "ui/form1.h"
#include "ui/log.h"
#include "ui/message_dialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>

#include <cstdlib>
#include <exception>

// A test build of this entry may start it with other build texts (a null product name, which
// no real build can have), to watch the boxes such a build would show.
#ifndef VORNIK_ENTRY_BUILD_TEXTS
#define VORNIK_ENTRY_BUILD_TEXTS BuildTexts::fromBuild()
#endif

namespace {

// What the toolkit said while it started, passed on once it has started.
QStringList &HeldBackMessages()
{
    static QStringList messages;
    return messages;
}

// While the toolkit starts, its complaints are held back: without a display Qt prints a few
// lines about plugins and ends with advice to reinstall the application, which sends an
// operator the wrong way. What the operator needs to know fits in one line.
void StartUpMessages(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtFatalMsg) {
        HeldBackMessages().append(text);
        return;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        WriteLogLine(QStringLiteral("VornikFDU needs a graphical session (X11 or Wayland): no "
                                    "display could be opened."));
    } else {
        // A display is named but did not open (refused, or a library of the toolkit is
        // missing): what the toolkit said is the reason.
        for (const QString &line : std::as_const(HeldBackMessages()))
            WriteLogLine(line);
        WriteLogLine(QStringLiteral("VornikFDU could not open its window: ") + text);
    }
    std::_Exit(1);
}

} // namespace

int main(int, char **)
{
    // The tool takes no arguments, and the toolkit gets none either.
    int argc = 1;
    char name[] = "VornikFDU";
    char *argv[] = { name, nullptr };
    qInstallMessageHandler(StartUpMessages);
    QApplication app(argc, argv);
    InstallStandardErrorLog();
    for (const QString &text : std::as_const(HeldBackMessages()))
        WriteLogLine(text);

    vornik::InstallDefaultPlatform();
#ifndef Q_OS_WIN
    // Windows has a system message box of its own (MessageBoxW), which the Windows backend
    // already installed; elsewhere the toolkit's box stands in for it.
    InstallQtErrorBox();
#endif
    try {
        Form1 window(VORNIK_ENTRY_BUILD_TEXTS, &vornik::EmbeddedFirmwareImage());
        window.show();
        if (!window.closedDuringLoad())
            app.exec();
    } catch (const std::exception &error) {
        QMessageBox::critical(nullptr, QStringLiteral("FDU Tool"), QString::fromUtf8(error.what()));
    }
    return 0;
}
