// Painting with the toolkit as built for Windows: antialiased text and paths go through Qt's
// gray rasterizer, which leaves a path too big for its cell pool with longjmp and retries with
// a larger pool. That jump is where MinGW builds of Qt have crashed; every picture of the
// window (flags, logos, the busy sign) and every label depends on it.
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTest>

#include <cmath>

namespace {

// A star with `spikes` points, nearly as big as the image: its outline crosses far more cells
// than the rasterizer's first pool holds.
QPainterPath Star(int spikes, double radius)
{
    QPainterPath path;
    const double centre = radius + 2;
    for (int i = 0; i <= 2 * spikes; ++i) {
        const double r = (i % 2 == 0) ? radius : radius * 0.4;
        const double angle = M_PI * i / spikes;
        const QPointF point(centre + r * std::cos(angle), centre + r * std::sin(angle));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

int PaintedPixels(const QImage &image)
{
    int painted = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            painted += line[x] != qRgb(255, 255, 255);
    }
    return painted;
}

} // namespace

class PaintingTest : public QObject {
    Q_OBJECT

private slots:
    void antialiasedShapesArePainted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("spikes");
        QTest::newRow("text with accents and a tick")
            << QStringLiteral("Fran\u00e7ais \u00e4\u00df \u2714") << 0;
        QTest::newRow("star of 5 spikes") << QString() << 5;
        QTest::newRow("star of 1000 spikes") << QString() << 1000;
    }

    void antialiasedShapesArePainted()
    {
        QFETCH(QString, text);
        QFETCH(int, spikes);
        QImage image(1200, 1200, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            if (spikes > 0) {
                painter.fillPath(Star(spikes, 590), Qt::darkBlue);
            } else {
                QFont font;
                font.setPixelSize(96);
                painter.setFont(font);
                painter.setPen(Qt::black);
                painter.drawText(image.rect(), Qt::AlignCenter, text);
            }
        }
        QVERIFY(PaintedPixels(image) > 1000);
    }
};

QTEST_MAIN(PaintingTest)
#include "test_painting.moc"
