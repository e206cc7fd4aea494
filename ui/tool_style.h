// The tool's own look, shared by the main window and the message dialog: its fonts, its flat
// buttons, pictures that zoom to fit their box, and labels that cut an overlong text with an
// ellipsis instead of losing its end silently.
//
// Sizes everywhere in ui/ are device-independent pixels (96 dpi); Qt scales them with the
// screen, the way the original layout scaled from its 144-dpi design.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPointer>
#include <QString>
#include <QWidget>

class QAbstractItemView;
class QPushButton;
class QWidget;

namespace tool_style {

// Colours of the tool.
inline const QColor kFrameBlue { 0, 117, 191 };
inline const QColor kPanelGrey { 156, 170, 193 };
inline const QColor kHeaderBlue { 40, 70, 120 };
inline const QColor kHeaderBlueHover { 40, 100, 160 };
inline const QColor kMarkedRow { 0, 120, 215 };

// "Segoe UI" where Windows has it, the nearest sans-serif elsewhere.
QFont uiFont(qreal pointSize, bool bold = false, bool italic = false);
// "Segoe UI Semibold" likewise.
QFont uiSemiboldFont(qreal pointSize, bool bold = false);

// Solid background of a plain widget.
void fillBackground(QWidget *widget, const QColor &background);
// The colour of a widget's text. Every text colour is set, never taken from the desktop: a dark
// theme would otherwise draw light text on the tool's own light backgrounds.
void setTextColour(QWidget *widget, const QColor &text);
// A list's background and text, and the marked row's colours (the row being worked on).
void setListColours(QAbstractItemView *list, const QColor &base, const QColor &text);
// A flat, borderless button with its own colours at rest, under the pointer and while pressed.
void styleFlatButton(QPushButton *button, const QColor &normal, const QColor &hover,
    const QColor &pressed, const QColor &text = Qt::white);

// A picture box: shows its pixmap zoomed to fit, aspect ratio kept, centred on its background.
// pixmap() still returns the picture as it was set.
class PictureBox : public QLabel {
public:
    explicit PictureBox(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A label that wraps its text (optionally) and, when the text does not fit, ends the last
// visible line with an ellipsis (or, with eliding off, simply clips it). text() keeps the full
// text; CR LF pairs break lines. Unlike a word-wrapping QLabel it never asks its layout for a
// height that depends on its width, so a long text cannot squeeze the rows around it.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    void setWrapping(bool on);
    bool wrapping() const { return wrapping_; }
    void setEliding(bool on);
    bool eliding() const { return eliding_; }
    // The text as it is painted in the current size.
    QString shownText() const;
    // The part of the label the text is laid out in.
    QRect textRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool wrapping_ = true;
    bool eliding_ = true;
};

// The mark of the element that has the keyboard focus, drawn over it by one overlay per window.
// The tool's flat buttons and borderless lists draw no focus of their own, and the desktop's
// focus colour could vanish on the tool's fixed colours; this ring is black, amber, black, so
// that it shows on the light and the dark surfaces of the window alike, whatever the palette.
class FocusMark : public QWidget {
    Q_OBJECT

public:
    static inline const QColor kRing { 255, 176, 0 };
    static constexpr int kWidth = 4; // 1 black, 2 amber, 1 black

    // Marks whatever element of `window` has the focus, for as long as `window` lives.
    explicit FocusMark(QWidget *window);
    // The element now marked, or nullptr.
    QWidget *marked() const { return target_; }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void follow(QWidget *focus);
    void place();
    QPointer<QWidget> target_;
};

// A new element under its own name: member name and objectName are the same.
template<typename Widget> Widget *named(const char *name, QWidget *parent = nullptr)
{
    auto *widget = new Widget(parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace tool_style
