#include "ui/pictures.h"

#include <QEvent>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <numbers>

namespace pictures {

namespace {

// A transparent canvas with antialiasing on; the painter ends before the pixmap is returned.
template<typename Draw> QPixmap drawn(int width, int height, Draw draw)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter);
    }
    return pixmap;
}

// Where a flag sits inside its 78 x 48 image.
const QRectF kFlagArea(3, 3, 72, 42);

void flagOutline(QPainter &painter)
{
    painter.setPen(QPen(QColor(60, 60, 60, 160), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(kFlagArea.adjusted(0.5, 0.5, -0.5, -0.5));
}

void horizontalBands(QPainter &painter, const QList<QPair<QColor, qreal>> &bands)
{
    qreal total = 0;
    for (const auto &band : bands)
        total += band.second;
    qreal y = kFlagArea.top();
    for (const auto &band : bands) {
        const qreal height = kFlagArea.height() * band.second / total;
        painter.fillRect(QRectF(kFlagArea.left(), y, kFlagArea.width(), height), band.first);
        y += height;
    }
}

QPainterPath star(QPointF centre, qreal radius)
{
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const qreal r = (i % 2 == 0) ? radius : radius * 0.4;
        const qreal angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const QPointF point(centre.x() + r * std::cos(angle), centre.y() + r * std::sin(angle));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

// A letter centred in `box`, as a filled outline so that it scales without hinting artefacts.
void letter(QPainter &painter, const QString &text, const QRectF &box, qreal pointSize,
    const QColor &colour)
{
    QFont font;
    font.setFamilies({ QStringLiteral("Open Sans"), QStringLiteral("DejaVu Sans"),
        QStringLiteral("Segoe UI"), QStringLiteral("Arial") });
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::ExtraBold);
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF bounds = path.boundingRect();
    path.translate(box.center() - bounds.center());
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(path);
}

QPixmap lettermark(const QString &text, const QColor &fill, bool round, const QColor &accent)
{
    return drawn(45, 45, [&](QPainter &painter) {
        const QRectF body(2, 2, 41, 41);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        if (round)
            painter.drawEllipse(body);
        else
            painter.drawRoundedRect(body, 8, 8);
        // A thin accent stroke under the letter keeps the four marks apart at a glance.
        painter.setPen(QPen(accent, 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(13, 35), QPointF(32, 35));
        letter(painter, text, QRectF(2, 1, 41, 34), 20, Qt::white);
    });
}

QPixmap glyph(const std::function<void(QPainter &)> &draw)
{
    return drawn(48, 48, [&](QPainter &painter) {
        painter.setPen(QPen(QColor(25, 25, 25), 3.5, Qt::SolidLine, Qt::RoundCap));
        draw(painter);
    });
}

void printer(QPainter &painter, int sheetLength, bool lampOn)
{
    // Paper waiting in the tray behind the printer.
    painter.setPen(QPen(QColor(120, 120, 120), 1));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(17.5, 4.5, 25, 14));
    // Body.
    painter.setPen(QPen(QColor(50, 50, 60), 1.5));
    painter.setBrush(QColor(225, 228, 235));
    painter.drawRoundedRect(QRectF(5.5, 15.5, 49, 22), 4, 4);
    // Output slot and the sheet coming out of it.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(50, 50, 60));
    painter.drawRect(QRectF(13, 31, 34, 3));
    if (sheetLength > 0) {
        painter.setPen(QPen(QColor(120, 120, 120), 1));
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(16.5, 32.5, 27, sheetLength));
        painter.setPen(QPen(QColor(0, 117, 191), 1));
        for (int y = 36; y < 32 + sheetLength - 1; y += 3)
            painter.drawLine(QPointF(19, y + 0.5), QPointF(41, y + 0.5));
    }
    // Status lamp.
    painter.setPen(Qt::NoPen);
    painter.setBrush(lampOn ? QColor(40, 200, 70) : QColor(30, 90, 40));
    painter.drawEllipse(QRectF(45, 20, 5, 5));
}

} // namespace

QPixmap flagUnitedStates()
{
    return drawn(78, 48, [](QPainter &painter) {
        QList<QPair<QColor, qreal>> stripes;
        for (int i = 0; i < 13; ++i)
            stripes.append({ i % 2 == 0 ? QColor(178, 34, 52) : QColor(Qt::white), 1 });
        horizontalBands(painter, stripes);
        const QRectF canton(kFlagArea.left(), kFlagArea.top(), kFlagArea.width() * 0.4,
            kFlagArea.height() * 7 / 13);
        painter.fillRect(canton, QColor(60, 59, 110));
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        for (int row = 0; row < 5; ++row) {
            const int count = row % 2 == 0 ? 6 : 5;
            const qreal offset = row % 2 == 0 ? 0 : 0.5;
            for (int column = 0; column < count; ++column) {
                const QPointF centre(canton.left() + canton.width() * (column + 0.5 + offset) / 6,
                    canton.top() + canton.height() * (row + 0.5) / 5);
                painter.drawPath(star(centre, 1.6));
            }
        }
        flagOutline(painter);
    });
}

QPixmap flagGermany()
{
    return drawn(78, 48, [](QPainter &painter) {
        horizontalBands(painter,
            { { QColor(0, 0, 0), 1 }, { QColor(221, 0, 0), 1 }, { QColor(255, 206, 0), 1 } });
        flagOutline(painter);
    });
}

QPixmap flagSpain()
{
    return drawn(78, 48, [](QPainter &painter) {
        horizontalBands(painter,
            { { QColor(170, 21, 27), 1 }, { QColor(241, 191, 0), 2 }, { QColor(170, 21, 27), 1 } });
        flagOutline(painter);
    });
}

QPixmap flagFrance()
{
    return drawn(78, 48, [](QPainter &painter) {
        const qreal third = kFlagArea.width() / 3;
        painter.fillRect(QRectF(kFlagArea.left(), kFlagArea.top(), third, kFlagArea.height()),
            QColor(0, 35, 149));
        painter.fillRect(
            QRectF(kFlagArea.left() + third, kFlagArea.top(), third, kFlagArea.height()),
            Qt::white);
        painter.fillRect(
            QRectF(kFlagArea.left() + 2 * third, kFlagArea.top(), third, kFlagArea.height()),
            QColor(237, 41, 57));
        flagOutline(painter);
    });
}

QPixmap logoZeltan()
{
    return lettermark(QStringLiteral("Z"), QColor(0, 84, 150), false, QColor(255, 196, 0));
}

QPixmap logoMorval()
{
    return lettermark(QStringLiteral("M"), QColor(128, 20, 40), true, QColor(240, 240, 240));
}

QPixmap logoQuadrix()
{
    return lettermark(QStringLiteral("Q"), QColor(0, 130, 90), false, QColor(170, 240, 200));
}

QPixmap logoJox()
{
    return lettermark(QStringLiteral("J"), QColor(230, 110, 0), true, QColor(60, 30, 0));
}

QPixmap minimizeGlyph()
{
    return glyph([](QPainter &painter) { painter.drawLine(QPointF(15, 31), QPointF(33, 31)); });
}

QPixmap closeGlyph()
{
    return glyph([](QPainter &painter) {
        painter.drawLine(QPointF(16, 16), QPointF(32, 32));
        painter.drawLine(QPointF(32, 16), QPointF(16, 32));
    });
}

QPixmap warningTriangle()
{
    return drawn(48, 48, [](QPainter &painter) {
        QPainterPath triangle;
        triangle.moveTo(24, 4);
        triangle.lineTo(45, 43);
        triangle.lineTo(3, 43);
        triangle.closeSubpath();
        painter.setPen(QPen(QColor(40, 40, 40), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(QColor(255, 204, 0));
        painter.drawPath(triangle);
        painter.setPen(QPen(QColor(30, 30, 30), 4.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(24, 17), QPointF(24, 30));
        painter.drawPoint(QPointF(24, 37));
    });
}

QPixmap informationGlyph()
{
    return drawn(48, 48, [](QPainter &painter) {
        painter.setPen(QPen(Qt::white, 2.5));
        painter.setBrush(QColor(0, 117, 191));
        painter.drawEllipse(QRectF(4, 4, 40, 40));
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRectF(21, 11, 6, 6));
        painter.drawRoundedRect(QRectF(21, 20, 6, 17), 1.5, 1.5);
    });
}

QPixmap checkMark()
{
    return drawn(48, 48, [](QPainter &painter) {
        painter.setPen(QPen(QColor(20, 160, 60), 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(9, 25);
        tick.lineTo(19, 36);
        tick.lineTo(39, 12);
        painter.drawPath(tick);
    });
}

QPixmap cross()
{
    return drawn(48, 48, [](QPainter &painter) {
        painter.setPen(QPen(QColor(210, 30, 30), 7, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(11, 11), QPointF(37, 37));
        painter.drawLine(QPointF(37, 11), QPointF(11, 37));
    });
}

QList<QPixmap> busyFrames()
{
    QList<QPixmap> frames;
    for (int i = 0; i < kBusyFrameCount; ++i)
        frames.append(
            drawn(60, 50, [i](QPainter &painter) { printer(painter, 2 + 2 * i, i % 2 == 0); }));
    return frames;
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : { 16, 24, 32, 48, 64, 128, 256 }) {
        icon.addPixmap(drawn(size, size, [size](QPainter &painter) {
            painter.scale(size / 64.0, size / 64.0);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0, 117, 191));
            painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
            // A printer ...
            painter.setBrush(Qt::white);
            painter.drawRect(QRectF(20, 10, 24, 12));
            painter.drawRoundedRect(QRectF(9, 20, 46, 22), 4, 4);
            painter.setBrush(QColor(0, 60, 110));
            painter.drawRect(QRectF(16, 35, 32, 3));
            // ... taking in new firmware.
            QPainterPath arrow;
            arrow.moveTo(27, 40);
            arrow.lineTo(37, 40);
            arrow.lineTo(37, 48);
            arrow.lineTo(44, 48);
            arrow.lineTo(32, 60);
            arrow.lineTo(20, 48);
            arrow.lineTo(27, 48);
            arrow.closeSubpath();
            painter.setBrush(QColor(255, 196, 0));
            painter.drawPath(arrow);
        }));
    }
    return icon;
}

BusyAnimation::BusyAnimation(std::function<void(const QPixmap &)> show, QObject *parent)
    : QObject(parent)
    , show_(std::move(show))
    , frames_(busyFrames())
    , timer_(new QTimer(this))
{
    timer_->setInterval(kBusyFrameMs);
    connect(timer_, &QTimer::timeout, this, &BusyAnimation::advance);
    show_(frames_.first());
}

void BusyAnimation::start()
{
    if (!timer_->isActive())
        timer_->start();
}

void BusyAnimation::stop()
{
    timer_->stop();
    frame_ = 0;
    show_(frames_.first());
}

bool BusyAnimation::isRunning() const
{
    return timer_->isActive();
}

void BusyAnimation::followEnabled(QWidget *widget)
{
    widget->installEventFilter(this);
    if (widget->isEnabled())
        start();
    else
        stop();
}

bool BusyAnimation::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::EnabledChange) {
        if (static_cast<QWidget *>(watched)->isEnabled())
            start();
        else
            stop();
    }
    return QObject::eventFilter(watched, event);
}

void BusyAnimation::advance()
{
    frame_ = (frame_ + 1) % frames_.size();
    show_(frames_.at(frame_));
}

} // namespace pictures
