// The bench's controls drive the same simulated printers as every workflow test, and a whole
// update can be run and judged through it.
#include "../workflow/harness.h"

#include "bench/bench_window.h"
#include "bench/rehearsal.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

namespace {

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
            std::uint32_t(h.image().size()), h.imageSha256());
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
        for (int row = 0; row < 2; ++row) {
            QCOMPARE(bench.printerTable->item(row, BenchWindow::ColumnImage)->text(),
                QStringLiteral("matches the image"));
            QCOMPARE(bench.printerTable->item(row, BenchWindow::ColumnMode)->text(),
                QStringLiteral("stored and restarted"));
        }

        // Assistive technology meets each choice under its label, and nothing unnamed to act on.
        QCOMPARE(AccessibilityFaults(&bench), QStringList());
        for (const auto &[control, label] : std::initializer_list<std::pair<QWidget *, QString>> {
                 { bench.failPercentSpin, QStringLiteral("Stops at this share of the image") },
                 { bench.printerTable, QStringLiteral("Printers") } })
            QCOMPARE(
                QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name), label);
    }

    // Each behaviour's ending in the window, in the bench's own words, and the one byte count
    // for a transfer that stops partway: the bench's and the message's.
    void eachBehaviourEndsInItsStatus_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("image");
        const auto row = [](const char *name, BenchBehaviour behaviour, const QString &status,
                             const char *mode, const char *image) {
            QTest::newRow(name) << int(behaviour) << status << mode << image;
        };
        row("well", BenchBehaviour::Well, kCompleted, "stored and restarted", "matches the image");
        row("old firmware", BenchBehaviour::ComesBackWithOldFirmware, kCompleted,
            "stored and restarted", "matches the image");
        row("does not come back", BenchBehaviour::DoesNotComeBack, kCompleted,
            "stored and restarted", "matches the image");
        row("never leaves", BenchBehaviour::NeverLeavesBus, kNotFound, "normal, stays on the bus",
            "");
        row("other serial", BenchBehaviour::ComesBackWithAnotherSerial, kNotFound,
            "download mode as BENCH0001-B", "");
        row("too late", BenchBehaviour::ComesBackTooLate, kNotFound, "off the bus", "");
        row("fails at 30 %", BenchBehaviour::FailsTransferAt, kNotFound, "download mode",
            "partial");
        row("unplugged at 30 %", BenchBehaviour::UnpluggedAt, kNotFound, "detached", "partial");
        row("unplugged at 0 %", BenchBehaviour::UnpluggedAt, kNotFound, "detached", "");
        row("never stores", BenchBehaviour::NeverFinishesStoring, kUpdateTimeout,
            "storing, never finishes", "matches the image");
    }

    void eachBehaviourEndsInItsStatus()
    {
        QFETCH(int, behaviour);
        QFETCH(QString, status);
        QFETCH(QString, mode);
        QFETCH(QString, image);
        WorkflowHarness h(256 * 1024);
        BenchWindow bench(h.printers, QStringLiteral("ZELTAN QXR3303"),
            std::uint32_t(h.image().size()), h.imageSha256());
        Choose(bench.behaviourCombo, behaviour);
        // 30 % of the image ends inside the second 64 KiB write.
        bench.failPercentSpin->setValue(
            QByteArray(QTest::currentDataTag()).contains("at 0 %") ? 0 : 30);
        const int id = bench.attachFromForm();

        Form1 &form = h.start();
        h.tick(0);
        form.App_StartButton_Handler();
        QCOMPARE(h.statuses(), QStringList({ status }));
        QCOMPARE(QString::fromLatin1(ExpectedFinalStatusKey(BenchBehaviour(behaviour))),
            status == kCompleted           ? QStringLiteral("StrRes_StatusUpdateCompleted")
                : status == kUpdateTimeout ? QStringLiteral("StrRes_StatusUpdateTimeout")
                                           : QStringLiteral("StrRes_StatusPrinterNotFound"));
        bench.refresh();
        QCOMPARE(bench.printerTable->item(0, BenchWindow::ColumnMode)->text(), mode);
        QCOMPARE(bench.printerTable->item(0, BenchWindow::ColumnImage)->text(), image);
        QVERIFY(bench.printerTable->item(0, BenchWindow::ColumnBehaviour)
                    ->text()
                    .startsWith(BehaviourText(BenchBehaviour(behaviour), 0).left(8)));

        // Where the transfer says how far it got, the printer counted the same bytes.
        const std::uint64_t received = h.printers.snapshot(id).imageBytes;
        for (const RecordedMessage &message : h.messages) {
            const auto after
                = QRegularExpression(QStringLiteral("after (\\d+) bytes")).match(message.text);
            if (after.hasMatch())
                QCOMPARE(after.captured(1).toULongLong(), received);
        }
        if (image == QLatin1String("partial"))
            QCOMPARE(received, std::uint64_t(64 * 1024));
    }

    void sizesReadInMegabytesWithTheirShare_data()
    {
        QTest::addColumn<quint32>("imageBytes");
        QTest::addColumn<quint64>("received");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << 77060240u << quint64(0) << "";
        QTest::newRow("first block") << 77060240u << quint64(65536) << "0.07 MB (0.1 %)";
        QTest::newRow("half") << 77060240u << quint64(38530120) << "38.53 MB (50.0 %)";
        QTest::newRow("whole") << 77060240u << quint64(77060240) << "77.06 MB (100.0 %)";
        QTest::newRow("no image size") << 0u << quint64(1500000) << "1.50 MB";
    }

    void sizesReadInMegabytesWithTheirShare()
    {
        QFETCH(quint32, imageBytes);
        QFETCH(quint64, received);
        QFETCH(QString, text);
        WorkflowHarness h;
        BenchWindow bench(h.printers, QStringLiteral("ZELTAN QXR3303"), imageBytes, QString());
        QCOMPARE(bench.receivedText(received), text);
    }

    // Pulling the cable while the printer stores reads "completed" in the window (it left the
    // bus, as a printer that restarts does); the bench tells the two apart.
    void unplugWhileStoringIsDetachedNotRestarted()
    {
        WorkflowHarness h(128 * 1024);
        BenchWindow bench(h.printers, QStringLiteral("ZELTAN QXR3303"),
            std::uint32_t(h.image().size()), h.imageSha256());
        const int id = bench.attachFromForm();
        Form1 &form = h.start();
        h.onStatus = [&](const WorkflowHarness::StatusChange &) {
            if (h.printers.snapshot(id).mode == vornik::sim::PrinterMode::Storing)
                h.printers.detach(id);
        };
        h.tick(0);
        form.App_StartButton_Handler();
        bench.refresh();
        QCOMPARE(h.statuses(), QStringList({ kCompleted }));
        QCOMPARE(bench.printerTable->item(0, BenchWindow::ColumnMode)->text(),
            QStringLiteral("detached"));
    }

    // The rehearsal through the window's real dialogs and clicks: it passes when the printers
    // end as their behaviours predict, and fails when one does not.
    void rehearsalJudgesEachPrinter_data()
    {
        QTest::addColumn<bool>("sabotage");
        QTest::addColumn<int>("third"); // the third printer's behaviour
        QTest::addColumn<int>("exitCode");
        const int otherSerial = int(BenchBehaviour::ComesBackWithAnotherSerial);
        QTest::newRow("as predicted") << false << otherSerial << 0;
        QTest::newRow("a well printer never stores") << true << otherSerial << 1;
        // The transfer's failure message comes up in the middle of the run and must be answered.
        QTest::newRow("one unplugged halfway") << false << int(BenchBehaviour::UnpluggedAt) << 0;
        QTest::newRow("one does not come back")
            << false << int(BenchBehaviour::DoesNotComeBack) << 0;
    }

    void rehearsalJudgesEachPrinter()
    {
        QFETCH(bool, sabotage);
        QFETCH(int, third);
        QFETCH(int, exitCode);
        WorkflowHarness h(192 * 1024);
        BenchWindow bench(h.printers, QStringLiteral("ZELTAN QXR3303"),
            std::uint32_t(h.image().size()), h.imageSha256());
        bench.show();
        Form1 &form = h.start(BuildTexts::fromBuild(), false);
        form.dialogRunner = nullptr; // the real modal dialog, answered by the rehearsal
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QTimer saboteur;
        if (sabotage) {
            // Once the rehearsal has attached its second printer, that one stops storing for ever.
            QObject::connect(&saboteur, &QTimer::timeout, [&] {
                for (const auto &printer : h.printers.snapshots()) {
                    if (printer.config.serial == "REH-0002") {
                        auto config = printer.config;
                        config.storeTimeMs = -1;
                        h.printers.reconfigure(printer.id, config);
                        saboteur.stop();
                    }
                }
            });
            saboteur.start(0);
        }
        QTemporaryFile log;
        QVERIFY(log.open());
        std::FILE *out = std::fopen(qPrintable(log.fileName()), "w");
        QVERIFY(out);
        Rehearsal rehearsal(bench, form, dir.path(), out);
        // The printers restart, and the window's bound passes, only as the clock moves.
        rehearsal.setWhileWaitingForReturns([&h] {
            h.clock.advance(10000);
            h.printers.poll();
        });
        auto printers = Rehearsal::defaultPrinters();
        printers[2].behaviour = BenchBehaviour(third);
        printers[2].percent = 50;
        const int result = rehearsal.run(printers);
        std::fclose(out);
        log.seek(0);
        const QString account = QString::fromUtf8(log.readAll());
        QVERIFY2(result == exitCode, qPrintable(account));

        const QStringList completed = rehearsal.history().at(0);
        QCOMPARE(completed.first(), QStringLiteral("StrRes_StatusInIdleMode"));
        QCOMPARE(completed.last(), QStringLiteral("StrRes_StatusUpdateCompleted"));
        if (third != int(BenchBehaviour::DoesNotComeBack))
            QCOMPARE(
                rehearsal.history().at(2).last(), QStringLiteral("StrRes_StatusPrinterNotFound"));
        // What each came back with: the new revision, the old one, or nothing yet.
        QVERIFY2(account.contains(QStringLiteral("after the run: ")), qPrintable(account));
        if (!sabotage) {
            QVERIFY2(account.contains(QStringLiteral("QXR3303.2528A.01")), qPrintable(account));
            QVERIFY2(account.contains(QStringLiteral("VRN.01.23")), qPrintable(account));
        }
        if (third == int(BenchBehaviour::DoesNotComeBack))
            QVERIFY2(account.contains(QStringLiteral("noch nicht zurück")), qPrintable(account));
        QVERIFY(account.contains(QStringLiteral("summary:")));
        const bool allUpdate = third == int(BenchBehaviour::DoesNotComeBack);
        QVERIFY(account.contains(sabotage ? QStringLiteral("[1/3]")
                : allUpdate               ? QStringLiteral("[3/3]")
                                          : QStringLiteral("[2/3]")));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("summary.png"))));
        QVERIFY(QDir(dir.path()).entryList({ QStringLiteral("*.png") }).size() > 5);
        if (third == int(BenchBehaviour::UnpluggedAt))
            QVERIFY2(account.contains(QStringLiteral("message: Writing the firmware")),
                qPrintable(account));
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
