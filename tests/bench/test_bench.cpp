// The bench's controls drive the same simulated printers as every workflow test, and a whole
// update can be run and judged through it.
#include "../workflow/harness.h"

#include "bench/bench_window.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

namespace {

QString Sha256(const std::vector<std::uint8_t> &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(
        QByteArrayView(bytes.data(), qsizetype(bytes.size())), QCryptographicHash::Sha256)
                                   .toHex());
}

void Choose(QComboBox *combo, int value)
{
    combo->setCurrentIndex(combo->findData(value));
}

} // namespace

class BenchTest : public QObject {
    Q_OBJECT

private slots:
    void wholeUpdateOfTwoPrintersThroughTheBench()
    {
        WorkflowHarness h;
        BenchWindow bench(h.printers, QStringLiteral("ZELTAN QXR3303"),
            std::uint32_t(h.image().size()), Sha256(h.image()));
        bench.serialEdit->setText(QStringLiteral("A1"));
        QTest::mouseClick(bench.attachButton, Qt::LeftButton);
        bench.serialEdit->setText(QStringLiteral("A2"));
        QTest::mouseClick(bench.attachButton, Qt::LeftButton);
        QCOMPARE(bench.printerTable->rowCount(), 2);

        Form1 &form = h.start();
        QCOMPARE(h.listEntries().size(), 2);
        h.tick(0);
        h.tick(1);
        form.App_StartButton_Handler();
        QCOMPARE(h.messages.back().updated, 2);

        bench.refresh();
        for (int row = 0; row < 2; ++row)
            QCOMPARE(bench.printerTable->item(row, 5)->text(), QStringLiteral("matches the image"));
    }

    void eachBehaviourEndsInItsStatus_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("image");
        QTest::newRow("well") << int(BenchBehaviour::Well) << "Firmware update: completed"
                              << "matches the image";
        QTest::newRow("never leaves")
            << int(BenchBehaviour::NeverLeavesBus) << "Error: Printer not found!"
            << "";
        QTest::newRow("other serial")
            << int(BenchBehaviour::ComesBackWithAnotherSerial) << "Error: Printer not found!"
            << "";
        QTest::newRow("too late") << int(BenchBehaviour::ComesBackTooLate)
                                  << "Error: Printer not found!"
                                  << "";
        QTest::newRow("fails at 50 %")
            << int(BenchBehaviour::FailsTransferAt) << "Error: Printer not found!"
            << "partial";
        QTest::newRow("never stores")
            << int(BenchBehaviour::NeverFinishesStoring) << "Firmware update: timeout!"
            << "matches the image";
    }

    void eachBehaviourEndsInItsStatus()
    {
        QFETCH(int, behaviour);
        QFETCH(QString, status);
        QFETCH(QString, image);
        WorkflowHarness h(256 * 1024);
        BenchWindow bench(h.printers, QStringLiteral("ZELTAN QXR3303"),
            std::uint32_t(h.image().size()), Sha256(h.image()));
        Choose(bench.behaviourCombo, behaviour);
        bench.failPercentSpin->setValue(50);
        bench.attachFromForm();

        Form1 &form = h.start();
        h.tick(0);
        form.App_StartButton_Handler();
        QCOMPARE(h.statuses(), QStringList({ status }));
        bench.refresh();
        QCOMPARE(bench.printerTable->item(0, 5)->text(), image);
    }

    void otherProductsAndBusyPrintersAreNotOffered()
    {
        WorkflowHarness h;
        BenchWindow bench(h.printers, QStringLiteral("ZELTAN QXR3303"), 4096, QString());
        Choose(bench.productCombo, int(BenchProduct::OtherProduct));
        bench.attachFromForm();
        Choose(bench.productCombo, int(BenchProduct::UnreadableDeviceId));
        bench.attachFromForm();
        Choose(bench.productCombo, int(BenchProduct::BuildProduct));
        Choose(bench.statusCombo, 2);
        const int busy = bench.attachFromForm();
        h.start();
        QCOMPARE(h.listEntries().size(), 1); // only the build's own product is listed

        // Detaching from the bench is an unplug the list follows.
        bench.printerTable->selectRow(2);
        QTest::mouseClick(bench.detachButton, Qt::LeftButton);
        h.deliverNotices();
        QVERIFY(h.listEntries().isEmpty());
        QCOMPARE(h.printers.snapshot(busy).mode, vornik::sim::PrinterMode::Gone);
    }
};

QTEST_MAIN(BenchTest)
#include "test_bench.moc"
