// Helpers for the window and dialog tests.
#pragma once

#include "ui/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <vector>

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
