// Where the bench and the product's window land on a real X display (Xvfb, started by CTest at
// the screen size under test), read back from the windows' geometry once both are on screen.
// No window manager runs: X then keeps windows exactly where the program puts them, so what is
// checked is the program's placement; a manager's title bars are not part of it.
#include "../workflow/harness.h"

#include "bench/bench_window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTableWidget>
#include <QTest>

class BenchGeometryTest : public QObject {
    Q_OBJECT

private slots:
    void benchNeverCoversTheProduct()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs a real X display (CTest runs this under xvfb-run)");
        WorkflowHarness h;
        BenchWindow bench(h.printers, QStringLiteral("ZELTAN QXR3303"),
            std::uint32_t(h.image().size()), QString());
        for (int i = 0; i < 6; ++i)
            bench.attachFromForm();
        Form1 &window = h.start();
        QVERIFY(PlaceBeside(window, bench));
        bench.show();
        QVERIFY(PlaceBeside(window, bench));
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(QTest::qWaitForWindowExposed(&bench));
        QTest::qWait(100);

        const QRect screen = window.screen()->availableGeometry();
        const QRect product = window.frameGeometry();
        const QRect benchFrame = bench.frameGeometry();
        qInfo("screen %dx%d: product at %d,%d %dx%d, bench at %d,%d %dx%d (%s)", screen.width(),
            screen.height(), product.x(), product.y(), product.width(), product.height(),
            benchFrame.x(), benchFrame.y(), benchFrame.width(), benchFrame.height(),
            bench.isCompact() ? "compact, below" : "beside");
        QVERIFY(screen.contains(product));
        QVERIFY(screen.contains(benchFrame));
        QVERIFY(!product.intersects(benchFrame));
        // Nothing of the bench was cut to fit: it got at least the size its layout needs, and
        // the table still shows its header and a printer.
        QVERIFY(bench.width() >= bench.minimumSizeHint().width());
        QVERIFY(bench.height() >= bench.minimumSizeHint().height());
        QVERIFY(bench.printerTable->viewport()->height() >= bench.printerTable->rowHeight(0));
        QCOMPARE(bench.windowTitle(), QStringLiteral("Printer bench"));
        QVERIFY(!(window.windowFlags() & Qt::WindowStaysOnTopHint));
    }
};

QTEST_MAIN(BenchGeometryTest)
#include "test_bench_geometry.moc"
