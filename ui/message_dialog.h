// The one dialog through which the tool tells the operator anything: a plain message, the
// result of an update (tick or cross and a counts line), or a progress view with a moving bar.
#pragma once

#include "ui/image_list.h"

#include <QDialog>
#include <QString>
#include <QVariant>

#include <optional>

namespace pictures {
class BusyAnimation;
}
class QLabel;
class QPushButton;
class QTabWidget;
class QTimer;
class QWidget;

struct UI_MessageInfo {
    QString CaptionStr;
    QString MessageStr;
    QString ResultMsg;
    qint32 TotalPrinters = 0;
    qint32 UpdatedPrinters = 0;
    qint32 MsgType = 0;
};

class UI_Message : public QDialog {
    Q_OBJECT

public:
    explicit UI_Message(QWidget *parent = nullptr);
    ~UI_Message() override;

    // The record arrives as a generic value, as the owner hands it over.
    void UI_IFCSetInfo(const QVariant &param_Info);
    void UI_IFCUpdateProgressMessage(const QString &param_ProgressStr);
    void UI_ProgressTimer_Handler(const QString &param_Action);
    void UI_OkButton_Click();
    void UI_Message_Load();
    void UI_Load_Handler();

    QLabel *UI_CaptionLabel = nullptr;
    QLabel *pictureBox1 = nullptr;
    QTabWidget *MainTabControl = nullptr;
    QWidget *MessageTabPage = nullptr;
    QLabel *UI_MessageLabel = nullptr;
    QWidget *ResultTabPage = nullptr;
    QLabel *UI_ResultLabel = nullptr;
    QWidget *UI_UpdatedPanel = nullptr;
    QLabel *UI_UpdatedPicBox = nullptr;
    QLabel *UI_UpdatedPrintersLabel = nullptr;
    QWidget *ProgressTabPage = nullptr;
    QLabel *UI_ProgressMsgLabel = nullptr;
    QLabel *UI_PrinterPicBox = nullptr;
    QLabel *UI_ProgressBarLabel = nullptr;
    QPushButton *UI_OkButton = nullptr;
    ImageList UI_ImageList;
    QTimer *UI_ProgressTimer = nullptr;

    QString gUI_Message_CaptionStr;
    QString gUI_Message_MessageStr;
    QString gUI_Message_ResultStr;
    qint32 gUI_Message_TotalPrinters = 0;
    qint32 gUI_Message_UpdatedPrinters = 0;
    qint32 gUI_Message_MsgType = 0;

    // A progress dialog has no way out for the operator: Escape is ignored in that mode.
    void reject() override;
    // Centred over the window it belongs to (or the screen), then filled: the load processes
    // pending events, and only once the dialog is up does it block input to that window.
    void setVisible(bool visible) override;
    // Closed while its load still processes events (an OK or Escape that was already on its
    // way), the dialog closes once exec() waits for it: closed earlier, exec() would never
    // return.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void centreOverOwner();

    // The printer picture's animation in the progress view; the dialog owns it.
    pictures::BusyAnimation *busy_ = nullptr;
    bool loaded_ = false;
    bool loading_ = false;
    std::optional<int> closedWhileLoading_;
};

Q_DECLARE_METATYPE(UI_MessageInfo)

// Makes the printer layer's error box a critical message box ("FDU App", error icon, OK). The
// box may be raised from any thread: it is always shown on the user-interface thread, and the
// caller waits until the operator has dismissed it.
void InstallQtErrorBox();
