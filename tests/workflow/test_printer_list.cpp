// The printer list follows what is plugged in, offers only the build's product, and stops
// following once a run has begun.
#include "harness.h"

#include <QTest>

using vornik::sim::DeviceIdKind;
using vornik::sim::PrinterConfig;

class PrinterListTest : public QObject {
    Q_OBJECT

private slots:
    void listsOnlyTheBuildsProductInDiscoveryOrder()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("S1"));
        PrinterConfig other = h.printer("X1");
        other.model = "QXR3304";
        h.printers.attach(other);
        PrinterConfig download = h.printer("K1");
        download.manufacturer = "KX";
        download.model = "reflash";
        h.printers.attach(download);
        PrinterConfig unreadable = h.printer("U1");
        unreadable.deviceId = DeviceIdKind::Unreadable;
        h.printers.attach(unreadable);
        h.printers.attach(h.printer("S2"));

        h.start();
        QCOMPARE(h.listEntries(),
            QStringList({ QStringLiteral("ZELTAN QXR3303[SN#:S1]"),
                QStringLiteral("ZELTAN QXR3303[SN#:S2]") }));
        for (int i = 0; i < 2; ++i)
            QCOMPARE(h.form->SupportedPrinterCheckedListBox->item(i)->checkState(), Qt::Unchecked);
        QCOMPARE(gFDUPrinterInfo.IdleModeInfo.DeviceCount, 2);
    }

    void followsPlugAndUnplugAndDropsTicks()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("S1"));
        h.start();
        h.tick(0);
        const int second = h.printers.attach(h.printer("S2"));
        h.deliverNotices();
        QCOMPARE(h.listEntries().size(), 2);
        QCOMPARE(h.form->SupportedPrinterCheckedListBox->item(0)->checkState(), Qt::Unchecked);

        h.printers.detach(second);
        h.deliverNotices();
        QCOMPARE(h.listEntries(), QStringList({ QStringLiteral("ZELTAN QXR3303[SN#:S1]") }));
    }

    void unplugEverythingEmptiesTheListButKeepsTheRecord()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("S1"));
        h.start();
        h.printers.detachAll();
        h.deliverNotices();
        QVERIFY(h.listEntries().isEmpty());
        QCOMPARE(gFDUPrinterInfo.IdleModeInfo.DeviceCount, 1);
        QCOMPARE(
            QString::fromUtf16(gFDUPrinterInfo.IdleModeInfo.SerialNumber[0]), QStringLiteral("S1"));
    }

    void noticeDuringARebuildIsDropped()
    {
        WorkflowHarness h;
        Form1 &form = h.start();
        h.printers.attach(h.printer("S1"));
        // A second printer arrives while the first rebuild pumps its events.
        QMetaObject::invokeMethod(
            &form,
            [&h, &form] {
                h.printers.attach(h.printer("S2"));
                form.WndProc(kWmDeviceChange, kDbtDevNodesChanged);
            },
            Qt::QueuedConnection);
        form.WndProc(kWmDeviceChange, kDbtDevNodesChanged);
        QCOMPARE(h.listEntries(), QStringList({ QStringLiteral("ZELTAN QXR3303[SN#:S1]") }));
        QCOMPARE(form.gUSBPnPDetected, 0);

        // The next notice sees both.
        form.WndProc(kWmDeviceChange, kDbtDevNodesChanged);
        QCOMPARE(h.listEntries().size(), 2);
    }

    void otherMessagesAreIgnoredAndBlockingFreezesTheList()
    {
        WorkflowHarness h;
        Form1 &form = h.start();
        h.printers.attach(h.printer("S1"));
        form.WndProc(kWmDeviceChange, 0x8000); // arrival of one device, not "nodes changed"
        form.WndProc(0x0010, kDbtDevNodesChanged);
        QVERIFY(h.listEntries().isEmpty());

        form.g_BlockUsbEnumeration = 1;
        h.deliverNotices();
        form.WndProc(kWmDeviceChange, kDbtDevNodesChanged);
        QVERIFY(h.listEntries().isEmpty());
        QCOMPARE(form.gUSBPnPDetected, 0);
    }

    void flashModeMarks_data()
    {
        QTest::addColumn<QStringList>("idleSerials");
        QTest::addColumn<QList<int>>("idleTicks");
        QTest::addColumn<QStringList>("flashSerials");
        QTest::addColumn<QList<int>>("marks");
        QTest::newRow("unticked") << QStringList { "A", "B" } << QList<int> { 0, 0 }
                                  << QStringList { "A" } << QList<int> { 0 };
        QTest::newRow("ticked second") << QStringList { "A", "B" } << QList<int> { 0, 1 }
                                       << QStringList { "B", "A" } << QList<int> { 1, 0 };
        QTest::newRow("duplicate serials both marked")
            << QStringList { "A" } << QList<int> { 1 } << QStringList { "A", "A" }
            << QList<int> { 1, 1 };
        QTest::newRow("case matters") << QStringList { "abc" } << QList<int> { 1 }
                                      << QStringList { "ABC" } << QList<int> { 0 };
    }

    void flashModeMarks()
    {
        QFETCH(QStringList, idleSerials);
        QFETCH(QList<int>, idleTicks);
        QFETCH(QStringList, flashSerials);
        QFETCH(QList<int>, marks);
        WorkflowHarness h;
        Form1 &form = h.start();
        USBPrinterClassDeviceInfo &idle = gFDUPrinterInfo.IdleModeInfo;
        idle.DeviceCount = int(idleSerials.size());
        for (int i = 0; i < idleSerials.size(); ++i) {
            UI_CopyManagedStringToWcharArray(idleSerials[i], idle.SerialNumber[i]);
            idle.Selected[i] = idleTicks[i];
        }
        for (const QString &serial : flashSerials) {
            PrinterConfig config = h.printer(serial.toStdString());
            config.manufacturer = "KX";
            config.model = "reflash";
            h.printers.attach(config);
        }
        form.App_EnumerateSupportedPrintersInFlashMode();
        const USBPrinterClassDeviceInfo &flash = gFDUPrinterInfo.FlashModeInfo;
        QCOMPARE(flash.DeviceCount, int(flashSerials.size()));
        for (int k = 0; k < marks.size(); ++k)
            QCOMPARE(flash.Selected[k], marks[k]);
    }

    void clearingPicksTheTableByExactName_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("clearsIdle");
        QTest::newRow("IDLE") << "IDLE" << true;
        QTest::newRow("FLASH") << "FLASH" << false;
        QTest::newRow("idle") << "idle" << false;
        QTest::newRow("empty") << "" << false;
    }

    void clearingPicksTheTableByExactName()
    {
        QFETCH(QString, mode);
        QFETCH(bool, clearsIdle);
        WorkflowHarness h;
        Form1 &form = h.start();
        for (USBPrinterClassDeviceInfo *table :
            { &gFDUPrinterInfo.IdleModeInfo, &gFDUPrinterInfo.FlashModeInfo }) {
            table->DeviceCount = 1;
            table->Selected[0] = 1;
            UI_CopyManagedStringToWcharArray(QStringLiteral("S"), table->SerialNumber[0]);
        }
        form.App_ClearPrinterInfo(mode);
        const USBPrinterClassDeviceInfo &cleared
            = clearsIdle ? gFDUPrinterInfo.IdleModeInfo : gFDUPrinterInfo.FlashModeInfo;
        const USBPrinterClassDeviceInfo &kept
            = clearsIdle ? gFDUPrinterInfo.FlashModeInfo : gFDUPrinterInfo.IdleModeInfo;
        QCOMPARE(cleared.DeviceCount, 0);
        QCOMPARE(cleared.SerialNumber[0][0], u'\0');
        QCOMPARE(cleared.Selected[0], 1); // marks are not the table's to clear
        QCOMPARE(kept.DeviceCount, 1);
    }

    // A printer this account may not open, or one another program took from the driver, never
    // reaches the list; the operator is told so once, in the window's language, and only when
    // there is such a printer.
    void printersWithoutAccessAreToldOnce_data()
    {
        // serials; "!" in front: access denied, "~": taken by another program
        QTest::addColumn<QStringList>("atStart");
        QTest::addColumn<QStringList>("pluggedLater");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<int>("toldCount"); // the count in the notice; 0: no notice
        QTest::newRow("none denied")
            << QStringList { "S1" } << QStringList {} << QStringList { "S1" } << 0;
        QTest::newRow("the only printer denied")
            << QStringList { "!D1" } << QStringList {} << QStringList {} << 1;
        QTest::newRow("two denied beside a listed one")
            << QStringList { "!D1", "S1", "!D2" } << QStringList {} << QStringList { "S1" } << 2;
        QTest::newRow("denied one plugged later")
            << QStringList { "S1" } << QStringList { "!D1" } << QStringList { "S1" } << 1;
        QTest::newRow("told once, not again for the next")
            << QStringList { "!D1" } << QStringList { "!D2", "S1" } << QStringList { "S1" } << 1;
        QTest::newRow("two taken by another program beside a listed one")
            << QStringList { "~T1", "S1", "~T2" } << QStringList {} << QStringList { "S1" } << 2;
        QTest::newRow("taken one plugged later, told once")
            << QStringList { "S1" } << QStringList { "~T1", "~T2" } << QStringList { "S1" } << 1;
    }

    void printersWithoutAccessAreToldOnce()
    {
        QFETCH(QStringList, atStart);
        QFETCH(QStringList, pluggedLater);
        QFETCH(QStringList, listed);
        QFETCH(int, toldCount);
        // No system bus: which program holds the printers is not known here.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/vornik-test-bus");
        WorkflowHarness h;
        bool taken = false;
        const auto plug = [&](const QString &name) {
            const bool marked = name.startsWith('!') || name.startsWith('~');
            PrinterConfig config = h.printer(name.mid(marked ? 1 : 0).toStdString());
            config.accessDenied = name.startsWith('!');
            config.takenByAnotherProgram = name.startsWith('~');
            taken = taken || config.takenByAnotherProgram;
            h.printers.attach(config);
        };
        for (const QString &name : atStart)
            plug(name);
        int toldLanguage = -1;
        h.onMessage
            = [&](const RecordedMessage &) { toldLanguage = h.form->gLanguageImageListIndex; };
        h.start();
        for (const QString &name : pluggedLater) {
            plug(name);
            h.deliverNotices();
        }
        QStringList expected;
        for (const QString &serial : listed)
            expected << QStringLiteral("ZELTAN QXR3303[SN#:%1]").arg(serial);
        QCOMPARE(h.listEntries(), expected);
        QCOMPARE(int(h.messages.size()), toldCount > 0 ? 1 : 0);
        if (toldCount > 0) {
            // In the language the window spoke when it told: at start-up, the start language.
            const RecordedMessage &told = h.messages.front();
            QCOMPARE(told.type, 1);
            QCOMPARE(told.total, 0);
            QCOMPARE(told.updated, 0);
            const QString pattern
                = h.form->gLangResourceManager[toldLanguage]
                      ->lookup(taken ? "StrRes_PrintersTaken" : "StrRes_PrinterAccessDenied")
                      .arg(toldCount);
            if (taken) {
                QCOMPARE(told.text, pattern);
                return;
            }
            const qsizetype account = pattern.indexOf(QLatin1String("%2"));
            QVERIFY(account > 0);
            QVERIFY2(told.text.startsWith(pattern.left(account))
                    && told.text.endsWith(pattern.mid(account + 2))
                    && told.text.size() > pattern.size() - 2,
                qPrintable(told.text));
        }
    }

    void printerAccessNoticeSpeaksTheWindowsLanguage()
    {
        WorkflowHarness h;
        h.start();
        h.form->gLanguageImageListIndex = 1; // German
        h.form->App_ChangeLanguage(1);
        PrinterConfig denied = h.printer("D1");
        denied.accessDenied = true;
        h.printers.attach(denied);
        h.deliverNotices();
        QCOMPARE(int(h.messages.size()), 1);
        QVERIFY2(h.messages.front().text.startsWith(QStringLiteral(
                     "Gefundene USB-Drucker, die dieses Benutzerkonto nicht \u00f6ffnen darf und "
                     "die daher nicht aufgelistet sind: 1\r\n")),
            qPrintable(h.messages.front().text));
    }

    void copyToTableTextIsBounded()
    {
        char16_t target[vornik::contract::kTextUnits + 1];
        std::fill(std::begin(target), std::end(target), u'#');
        UI_CopyManagedStringToWcharArray(QString(400, QLatin1Char('x')), target);
        QCOMPARE(target[255], u'\0');
        QCOMPARE(target[256], u'#');
        QCOMPARE(QString::fromUtf16(target).size(), 255);
    }
};

QTEST_MAIN(PrinterListTest)
#include "test_printer_list.moc"
