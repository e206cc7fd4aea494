// The window and the printer bench on whatever display Qt was started on: headless in the
// suite, under a real Wayland compositor in scripts/wayland-test.sh. One printer is attached on
// the bench, ticked, updated and the window closed, all with clicks.
#include "ui_support.h"

#include "bench/bench_window.h"
#include "firmware/firmware_image.h"
#include "printer_link/simulated/virtual_clock.h"

#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

class DesktopSessionTest : public QObject {
    Q_OBJECT

private slots:
    void onePrinterRunOnTheBench()
    {
        // Printers in real time, 200 times faster: the three-minute steps take a second.
        vornik::sim::ScaledRealClock clock(200);
        vornik::sim::SimulatedPrinters printers(clock);
        vornik::InstallPlatform(&printers, &clock);
        QStringList errorBoxes;
        vornik::InstallErrorBox([&](const std::u16string &text, const std::u16string &) {
            errorBoxes << QString::fromStdU16String(text);
        });
        std::vector<std::uint8_t> bytes(200 * 1024 + 17);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = std::uint8_t(i * 13 + 1);
        vornik::MemoryFirmwareImage image(bytes.data(), std::uint32_t(bytes.size()));

        const BuildTexts texts = testTexts();
        BenchWindow bench(printers, texts.productName, image.size(), QString(), &clock);
        bench.attachFromForm();
        bench.show();
        {
            Form1 window(texts, &image);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QVERIFY(QTest::qWaitForWindowExposed(&bench));
            QListWidget *list = window.SupportedPrinterCheckedListBox;
            QTRY_COMPARE(list->count(), 1);

            // Dragging by the product name: on Wayland only the compositor can move the window.
            const bool wayland
                = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
            QTest::mousePress(window.FDUProductNameLabel, Qt::LeftButton, {}, QPoint(20, 10));
            QTest::mouseRelease(window.FDUProductNameLabel, Qt::LeftButton, {}, QPoint(20, 10));
            QCOMPARE(window.systemMovesRequested(), wayland ? 1 : 0);

            QTest::mouseClick(
                list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
            QCOMPARE(list->item(0)->checkState(), Qt::Checked);

            int total = -1, updated = -1;
            ModalDialogOperator operatorAtDesk([&](UI_Message &dialog) {
                total = dialog.gUI_Message_TotalPrinters;
                updated = dialog.gUI_Message_UpdatedPrinters;
            });
            QTest::mouseClick(window.StartButton, Qt::LeftButton);

            QCOMPARE(operatorAtDesk.dialogs, 1);
            QCOMPARE(total, 1);
            QCOMPARE(updated, 1);
            QCOMPARE(window.FDUStatusListBox->item(0)->text(),
                window.StrRes("StrRes_StatusUpdateCompleted"));
            QVERIFY(errorBoxes.isEmpty());

            QVERIFY(window.AppCloseButton->isEnabled());
            QTest::mouseClick(window.AppCloseButton, Qt::LeftButton);
            QVERIFY(!window.isVisible());
        }
        vornik::InstallPlatform(nullptr, nullptr);
        vornik::InstallErrorBox(nullptr);
    }
};

QTEST_MAIN(DesktopSessionTest)
#include "test_desktop_session.moc"
