// Every picture the tool shows, drawn in code: no picture files travel with the program, so the
// pictures are the same on every platform and at every size they are asked for.
#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPixmap>

#include <functional>

class QTimer;
class QWidget;

namespace pictures {

// Language flags, 78 x 48 on a transparent background.
QPixmap flagUnitedStates();
QPixmap flagGermany();
QPixmap flagSpain();
QPixmap flagFrance();

// Brand lettermarks, 45 x 45.
QPixmap logoZeltan();
QPixmap logoMorval();
QPixmap logoQuadrix();
QPixmap logoJox();

// Caption-bar glyphs, 48 x 48, dark on transparent.
QPixmap minimizeGlyph();
QPixmap closeGlyph();

// 48 x 48 signs.
QPixmap warningTriangle();
QPixmap informationGlyph();
QPixmap checkMark();
QPixmap cross();

// The busy sign: a printer feeding a sheet, six frames of 60 x 50 shown 100 ms each.
inline constexpr int kBusyFrameCount = 6;
inline constexpr int kBusyFrameMs = 100;
QList<QPixmap> busyFrames();

QIcon programIcon();

// Steps through the busy frames on the user-interface thread and hands each to `show`.
class BusyAnimation : public QObject {
    Q_OBJECT

public:
    BusyAnimation(std::function<void(const QPixmap &)> show, QObject *parent = nullptr);

    // Starting a running animation changes nothing; stopping leaves the first frame shown.
    void start();
    void stop();
    bool isRunning() const;
    int frame() const { return frame_; }
    // Runs while `widget` is enabled and rests while it is disabled.
    void followEnabled(QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void advance();

    std::function<void(const QPixmap &)> show_;
    QList<QPixmap> frames_;
    QTimer *timer_ = nullptr;
    int frame_ = 0;
};

} // namespace pictures
