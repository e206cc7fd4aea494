// How the main window tells the operator something: the message dialog for every message, a
// system message box when even the dialog fails, and the printer layer's own error box.
//
// Messages come from the user-interface thread and from the update workers alike (a transfer
// that finds no firmware reports it from its worker). A call from a worker is handed to the
// user-interface thread and waits there until the operator has dismissed the message, so the
// worker carries on exactly as if it had shown the dialog itself.
#include "ui/form1.h"

#include "printer_link/platform.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <stdexcept>

namespace {

void showToolBox(QWidget *parent, const QString &text)
{
    QMessageBox box(
        QMessageBox::Critical, QStringLiteral("FDU Tool"), text, QMessageBox::Ok, parent);
    box.exec();
}

QString currentFailure()
{
    try {
        throw;
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error while showing a message.");
    }
}

// Runs `operation` on `form`'s thread and waits for it. False when the caller already is on
// that thread and should simply go on.
template<typename Operation> bool handedToFormThread(Form1 *form, Operation operation)
{
    if (QThread::currentThread() == form->thread())
        return false;
    QMetaObject::invokeMethod(form, operation, Qt::BlockingQueuedConnection);
    return true;
}

} // namespace

void Form1::App_ShowUIMessage_Handler(int param_MsgType, const QString &param_MessageStr,
    int param_TotalPrinters, int param_UpdatedPrinters)
{
    if (handedToFormThread(this, [&] {
            App_ShowUIMessage_Handler(
                param_MsgType, param_MessageStr, param_TotalPrinters, param_UpdatedPrinters);
        }))
        return;

    QString lookupFailure;
    try {
        // Before the window is first shown (messages of the start-up) the dialog centres on
        // the screen, where the window is about to appear, rather than on its unplaced frame.
        UI_Message dialog(isVisible() ? this : nullptr);
        UI_MessageInfo info;
        info.MsgType = param_MsgType;
        info.CaptionStr = texts_.caption();
        info.MessageStr = param_MessageStr;
        info.TotalPrinters = param_TotalPrinters;
        info.UpdatedPrinters = param_UpdatedPrinters;
        // A message raised before the string tables are open (an early start-up failure)
        // must still reach the operator; the result words are only missing from a counts
        // line, and that case is reported after the dialog.
        try {
            info.ResultMsg = StrRes("StrRes_UIMsgResult");
        } catch (const std::exception &e) {
            lookupFailure = QString::fromUtf8(e.what());
        }
        dialog.UI_IFCSetInfo(QVariant::fromValue(info));
        if (dialogRunner)
            dialogRunner(dialog);
        else
            dialog.exec();
    } catch (...) {
        showToolBox(this, currentFailure());
        return;
    }
    if (param_MsgType == 3 && !lookupFailure.isEmpty())
        showToolBox(this, lookupFailure);
}

void Form1::App_ShowUIProgressForm_Handler(
    UI_Message *param_FormHandle, const QString &param_MessageStr)
{
    if (handedToFormThread(
            this, [&] { App_ShowUIProgressForm_Handler(param_FormHandle, param_MessageStr); }))
        return;
    try {
        if (!param_FormHandle)
            throw std::invalid_argument("There is no progress dialog to show.");
        UI_MessageInfo info;
        info.MsgType = 2;
        info.CaptionStr = texts_.caption();
        info.MessageStr = param_MessageStr;
        param_FormHandle->UI_IFCSetInfo(QVariant::fromValue(info));
        param_FormHandle->show();
    } catch (...) {
        showToolBox(this, currentFailure());
    }
}

void Form1::App_UpdateUIProgress(UI_Message *param_FormHandle, const QString &param_MessageStr)
{
    if (handedToFormThread(this, [&] { App_UpdateUIProgress(param_FormHandle, param_MessageStr); }))
        return;
    try {
        if (!param_FormHandle)
            throw std::invalid_argument("There is no progress dialog to update.");
        param_FormHandle->UI_IFCUpdateProgressMessage(param_MessageStr);
        param_FormHandle->raise();
        if (!param_FormHandle->isVisible())
            param_FormHandle->show();
    } catch (...) {
        showToolBox(this, currentFailure());
    }
}

void InstallQtErrorBox()
{
    vornik::InstallErrorBox([](const std::u16string &text, const std::u16string &caption) {
        const QString message = QString::fromStdU16String(text);
        const QString title = QString::fromStdU16String(caption);
        auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
        if (!app) {
            // No window system to show a box on: the text must not be lost all the same.
            qWarning("%s: %s", qUtf8Printable(title), qUtf8Printable(message));
            return;
        }
        const auto show = [&] { QMessageBox::critical(nullptr, title, message, QMessageBox::Ok); };
        if (QThread::currentThread() == app->thread())
            show();
        else
            QMetaObject::invokeMethod(app, show, Qt::BlockingQueuedConnection);
    });
}
