#include "ui/tool_style.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTextLayout>

namespace tool_style {

namespace {

QFont makeFont(const QStringList &families, qreal pointSize, QFont::Weight weight, bool italic)
{
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    font.setItalic(italic);
    return font;
}

QString cssColour(const QColor &colour)
{
    return QStringLiteral("rgb(%1, %2, %3)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue());
}

} // namespace

QFont uiFont(qreal pointSize, bool bold, bool italic)
{
    return makeFont({ QStringLiteral("Segoe UI"), QStringLiteral("Open Sans"),
                        QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans") },
        pointSize, bold ? QFont::Bold : QFont::Normal, italic);
}

QFont uiSemiboldFont(qreal pointSize, bool bold)
{
    return makeFont({ QStringLiteral("Segoe UI Semibold"), QStringLiteral("Open Sans Semibold"),
                        QStringLiteral("Open Sans"), QStringLiteral("Noto Sans"),
                        QStringLiteral("DejaVu Sans") },
        pointSize, bold ? QFont::Bold : QFont::DemiBold, false);
}

void fillBackground(QWidget *widget, const QColor &background)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, background);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setTextColour(QWidget *widget, const QColor &text)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::ButtonText, text);
    widget->setPalette(palette);
}

void setListColours(QAbstractItemView *list, const QColor &base, const QColor &text)
{
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, base);
    palette.setColor(QPalette::Window, base);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::WindowText, text);
    // The marked row keeps the same colours when the list is not focused, as it must show
    // which printer is being worked on while the operator looks elsewhere.
    palette.setColor(QPalette::Highlight, kMarkedRow);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    list->setPalette(palette);
}

void styleFlatButton(QPushButton *button, const QColor &normal, const QColor &hover,
    const QColor &pressed, const QColor &text)
{
    button->setFlat(true);
    button->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; color: %4; border: none; }"
                       "QPushButton:hover { background-color: %2; }"
                       "QPushButton:pressed { background-color: %3; }"
                       "QPushButton:disabled { color: rgb(150, 150, 150); }")
            .arg(cssColour(normal), cssColour(hover), cssColour(pressed), cssColour(text)));
}

PictureBox::PictureBox(QWidget *parent)
    : QLabel(parent)
{ }

void PictureBox::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    const QPixmap picture = pixmap();
    if (picture.isNull())
        return;
    const QRect box = contentsRect();
    const QSize size = picture.size().scaled(box.size(), Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), size);
    target.moveCenter(box.center());
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, picture);
}

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{ }

void ElidedLabel::setWrapping(bool on)
{
    wrapping_ = on;
    update();
}

void ElidedLabel::setEliding(bool on)
{
    eliding_ = on;
    update();
}

QString ElidedLabel::shownText() const
{
    QString text = this->text();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QRect box = textRect();
    if (box.width() <= 0 || box.height() <= 0)
        return text;

    const QFontMetrics metrics(font());
    const int width = box.width();
    const int maxLines = qMax(1, box.height() / metrics.lineSpacing());

    // Every line as laid out, with where its text starts in the whole text, so that the last
    // visible line can be cut together with everything that follows it.
    struct Line {
        QString text;
        qsizetype start;
    };
    QList<Line> lines;
    qsizetype paragraphStart = 0;
    for (const QString &paragraph : text.split(QLatin1Char('\n'))) {
        if (!wrapping_ || paragraph.isEmpty()) {
            lines.append({ paragraph, paragraphStart });
        } else {
            QTextLayout layout(paragraph, font());
            // A device path or serial run longer than a line still wraps rather than vanishing
            // behind the ellipsis of its first line.
            QTextOption option;
            option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            layout.setTextOption(option);
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(width);
                // The blanks a line wraps at hang past its end unpainted; left on, they would
                // count against the width and cut a line that fits.
                QString shown = paragraph.mid(line.textStart(), line.textLength());
                const bool wraps = line.textStart() + line.textLength() < paragraph.size();
                while (wraps && !shown.isEmpty() && shown.back().isSpace())
                    shown.chop(1);
                lines.append({ shown, paragraphStart + line.textStart() });
            }
            layout.endLayout();
        }
        paragraphStart += paragraph.size() + 1;
    }

    QStringList shown;
    for (int i = 0; i < lines.size() && i < maxLines; ++i) {
        if (!eliding_) {
            shown.append(lines[i].text);
            continue;
        }
        const bool lastVisible = (i == maxLines - 1) && (lines.size() > maxLines);
        if (lastVisible) {
            QString rest = text.mid(lines[i].start);
            rest.replace(QLatin1Char('\n'), QLatin1Char(' '));
            shown.append(metrics.elidedText(rest, Qt::ElideRight, width));
        } else {
            shown.append(metrics.elidedText(lines[i].text, Qt::ElideRight, width));
        }
    }
    return shown.join(QLatin1Char('\n'));
}

QRect ElidedLabel::textRect() const
{
    // Where QLabel puts its text: inside the margin on every side, and the indent on the edges
    // the text is aligned to (half an "x" when none is set and the label has a frame).
    QRect box = contentsRect();
    const int around = margin();
    box.adjust(around, around, -around, -around);
    int in = indent();
    if (in < 0)
        in = frameWidth() > 0 ? fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 : 0;
    if (in > 0) {
        const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
        if (align & Qt::AlignLeft)
            box.setLeft(box.left() + in);
        if (align & Qt::AlignRight)
            box.setRight(box.right() - in);
        if (align & Qt::AlignTop)
            box.setTop(box.top() + in);
        if (align & Qt::AlignBottom)
            box.setBottom(box.bottom() - in);
    }
    return box;
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics metrics(font());
    return { metrics.averageCharWidth() * 10, metrics.lineSpacing() };
}

QSize ElidedLabel::minimumSizeHint() const
{
    return { 0, 0 };
}

void ElidedLabel::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    const QStringList lines = shownText().split(QLatin1Char('\n'));
    const QRect box = textRect();
    const int lineHeight = QFontMetrics(font()).lineSpacing();
    const int blockHeight = int(lines.size()) * lineHeight;

    int y = box.top();
    if (alignment() & Qt::AlignVCenter)
        y += qMax(0, (box.height() - blockHeight) / 2);
    else if (alignment() & Qt::AlignBottom)
        y += qMax(0, box.height() - blockHeight);

    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.setFont(font());
    painter.setClipRect(box);
    const int horizontal = int(alignment() & Qt::AlignHorizontal_Mask);
    for (const QString &line : lines) {
        painter.drawText(
            QRect(box.left(), y, box.width(), lineHeight), horizontal | Qt::AlignVCenter, line);
        y += lineHeight;
    }
}

FocusMark::FocusMark(QWidget *window)
    : QWidget(window)
{
    setObjectName(QStringLiteral("FocusMark"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(
        qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { follow(now); });
}

void FocusMark::follow(QWidget *focus)
{
    if (target_)
        target_->removeEventFilter(this);
    target_
        = focus && focus != parentWidget() && parentWidget()->isAncestorOf(focus) ? focus : nullptr;
    if (target_)
        target_->installEventFilter(this);
    place();
}

void FocusMark::place()
{
    if (!target_ || !target_->isVisible()) {
        hide();
        return;
    }
    setGeometry(QRect(target_->mapTo(parentWidget(), QPoint(0, 0)), target_->size()));
    raise();
    show();
    update();
}

bool FocusMark::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == target_) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            place();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FocusMark::paintEvent(QPaintEvent *)
{
    // Inside the element's own edge, so that a neighbour drawn later cannot cover it; only the
    // ring is painted, the element shows through the middle.
    QPainter painter(this);
    const auto band = [&painter](const QRect &box, int width, const QColor &colour) {
        painter.fillRect(QRect(box.left(), box.top(), box.width(), width), colour);
        painter.fillRect(QRect(box.left(), box.bottom() - width + 1, box.width(), width), colour);
        painter.fillRect(QRect(box.left(), box.top(), width, box.height()), colour);
        painter.fillRect(QRect(box.right() - width + 1, box.top(), width, box.height()), colour);
    };
    band(rect(), 1, Qt::black);
    band(rect().adjusted(1, 1, -1, -1), 2, kRing);
    band(rect().adjusted(3, 3, -3, -3), 1, Qt::black);
}

} // namespace tool_style
