// Helpers for the window and dialog tests.
#pragma once

#include "ui/form1.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <vector>

// Ticks or unticks line `row` of a printer list as an operator would by `path`: "Toggle"
// through the accessibility interface, "click" with the mouse, anything else with Space.
inline void TickBy(const QString &path, QListWidget *list, int row)
{
    if (path == QLatin1String("Toggle")) {
        QAccessible::queryAccessibleInterface(list)->child(row)->actionInterface()->doAction(
            QAccessibleActionInterface::toggleAction());
    } else if (path == QLatin1String("click")) {
        QTest::mouseClick(
            list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    } else {
        list->setCurrentRow(row);
        QTest::keyClick(list, Qt::Key_Space);
    }
}

// What the window asked its message dialog to show, recorded instead of shown.
struct RecordedMessage {
    int type = 0;
    QString text;
    int total = 0;
    int updated = 0;
};

// A dialogRunner for Form1 that records each message into `messages` (which must outlive the
// window) and then hands it to `then`, if given.
inline std::function<void(UI_Message &)> RecordMessages(
    std::vector<RecordedMessage> &messages, std::function<void(const RecordedMessage &)> then = {})
{
    return [&messages, then = std::move(then)](UI_Message &dialog) {
        messages.push_back({ dialog.gUI_Message_MsgType, dialog.gUI_Message_MessageStr,
            dialog.gUI_Message_TotalPrinters, dialog.gUI_Message_UpdatedPrinters });
        if (then)
            then(messages.back());
    };
}

// Dismisses every system message box that opens while it lives, remembering what each said.
class MessageBoxCatcher : public QObject {
public:
    struct Box {
        QString caption;
        QString text;
        QMessageBox::Icon icon;
        bool hadOkButton;
    };

    MessageBoxCatcher()
    {
        connect(&timer_, &QTimer::timeout, this, [this] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(widget);
                if (!box || !box->isVisible())
                    continue;
                QAbstractButton *ok = box->button(QMessageBox::Ok);
                boxes.push_back({ box->windowTitle(), box->text(), box->icon(), ok != nullptr });
                if (ok)
                    ok->click();
                else
                    box->done(0);
            }
        });
        timer_.start(5);
    }

    std::vector<Box> boxes;

private:
    QTimer timer_;
};

// The build's product with a firmware name that passes the identity check.
inline BuildTexts testTexts(const QString &product = QStringLiteral("ZELTAN QXR3303"))
{
    return { product,
        QStringLiteral("io_quillet_dist_pp1_016.2528A_nonassert_appsigned_lbi_rootfs_"
                       "secure_signed.fhx") };
}

// Same pixels, whatever format the two images were kept in.
inline bool samePicture(const QPixmap &a, const QPixmap &b)
{
    return !a.isNull()
        && a.toImage().convertToFormat(QImage::Format_ARGB32)
        == b.toImage().convertToFormat(QImage::Format_ARGB32);
}

// Makes `window` the active window, the one with the keyboard, as the window system does when
// the person clicks it, and says whether it became so. Asked of the platform, as Qt recommends
// since 6.5; but on Wayland only the compositor hands out activation, and weston's headless one,
// having no keyboard, never does: there Qt is told directly, by the call that 6.5 deprecated.
inline bool activate(QWidget &window)
{
    window.activateWindow();
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        QApplication::setActiveWindow(&window);
        QT_WARNING_POP
    }
    return QTest::qWaitFor([&window] { return QApplication::activeWindow() == &window; });
}

// A click queued in the window's event queue, as a click the window system delivered while the
// program was busy: handled whenever the program next processes events, and subject to the
// modality of whatever dialog is up at that moment.
inline void postClick(QWidget *target)
{
    QWindow *window = target->window()->windowHandle();
    QVERIFY(window);
    const QPointF local = target->mapTo(target->window(), target->rect().center());
    const QPointF global = target->mapToGlobal(target->rect().center());
    for (const auto type : { QEvent::MouseButtonPress, QEvent::MouseButtonRelease }) {
        QCoreApplication::postEvent(window,
            new QMouseEvent(type, local, local, global, Qt::LeftButton,
                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier));
    }
}

// Presses OK on every message dialog that comes up modally, as an operator would, after
// letting `look` see the program's state while the dialog is up.
class ModalDialogOperator : public QObject {
public:
    explicit ModalDialogOperator(std::function<void(UI_Message &)> look)
        : look_(std::move(look))
    {
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto *dialog = qobject_cast<UI_Message *>(QApplication::activeModalWidget());
            // A click before the compositor has shown the dialog may be lost; try again on the
            // next tick until the dialog is gone.
            if (!dialog || !dialog->isVisible() || !dialog->windowHandle()
                || !dialog->windowHandle()->isExposed())
                return;
            if (dialog != last_) {
                last_ = dialog;
                ++dialogs;
                if (look_)
                    look_(*dialog);
            }
            QTest::mouseClick(dialog->UI_OkButton, Qt::LeftButton);
        });
        timer_.start(10);
    }
    int dialogs = 0;

private:
    std::function<void(UI_Message &)> look_;
    QTimer timer_;
    UI_Message *last_ = nullptr;
};

// What assistive technology should never meet in `window`'s tree: an element one can act on
// without a name, a page container's tab list or its tabs. Table cells (the bench's) may be
// blank.
inline QStringList AccessibilityFaults(QWidget *window)
{
    QStringList faults;
    const std::function<void(QAccessibleInterface *, const QString &)> walk
        = [&](QAccessibleInterface *element, const QString &path) {
              const QString here = path + QLatin1Char('/')
                  + (element->object() ? element->object()->objectName()
                                       : element->text(QAccessible::Name));
              const QAccessible::Role role = element->role();
              if (role == QAccessible::PageTabList || role == QAccessible::PageTab)
                  faults << here + QStringLiteral(": a page header");
              const QAccessibleActionInterface *actions = element->actionInterface();
              if (actions && !actions->actionNames().isEmpty() && role != QAccessible::Cell
                  && element->text(QAccessible::Name).trimmed().isEmpty())
                  faults << here + QStringLiteral(": acts without a name");
              for (int i = 0; i < element->childCount(); ++i)
                  if (QAccessibleInterface *child = element->child(i))
                      walk(child, here);
          };
    walk(QAccessible::queryAccessibleInterface(window), QString());
    return faults;
}
