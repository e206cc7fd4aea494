// Start-up: the brand's language, the build number in the caption, the printers already
// attached, and the end of the program when the firmware does not fit the product.
#include "harness.h"

#include <QPushButton>
#include <QTest>

namespace {
const QString kGoodFile = QStringLiteral(
    "io_quillet_dist_pp1_016.2528A_nonassert_appsigned_lbi_rootfs_secure_signed.fhx");
}

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void thisBuildStartsInGermanWithItsBuildNumber()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("S1"));
        Form1 &form = h.start({ QStringLiteral("ZELTAN QXR3303"), kGoodFile }, false);

        QVERIFY(form.isVisible());
        QCOMPARE(form.gLanguageImageListIndex, 1);
        QCOMPARE(form.StartButton->text(), QStringLiteral("Anfang"));
        QCOMPARE(form.FDUProductNameLabel->text(),
            QStringLiteral("ZELTAN QXR3303 FDU   [Build: 2528A]"));
        QCOMPARE(form.windowTitle(), QStringLiteral("ZELTAN QXR3303 FDU"));
        QCOMPARE(h.listEntries(), QStringList({ QStringLiteral("ZELTAN QXR3303[SN#:S1]") }));
        QVERIFY(h.messages.empty());

        // The next language change carries the build number into the title too.
        form.App_LangButton_Handler();
        QCOMPARE(form.gLanguageImageListIndex, 2);
        QCOMPARE(form.windowTitle(), QStringLiteral("ZELTAN QXR3303 FDU   [Build: 2528A]"));
        QCOMPARE(form.FDUProductNameLabel->text(), form.windowTitle());
    }

    void buildNumberShownOrQuestionMark_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("caption");
        QTest::newRow("number") << kGoodFile << "ZELTAN QXR3303 FDU   [Build: 2528A]";
        QTest::newRow("nothing after prefix") << "secure_signed.fhx_io_quillet_dist_pp1_016."
                                              << "ZELTAN QXR3303 FDU   [Build: ?]";
        QTest::newRow("underscore after prefix") << "io_quillet_dist_pp1_016._secure_signed.fhx"
                                                 << "ZELTAN QXR3303 FDU   [Build: ?]";
    }

    void buildNumberShownOrQuestionMark()
    {
        QFETCH(QString, file);
        QFETCH(QString, caption);
        WorkflowHarness h;
        Form1 &form = h.start({ QStringLiteral("ZELTAN QXR3303"), file }, false);
        QCOMPARE(form.FDUProductNameLabel->text(), caption);
    }

    void mismatchedBuildSaysWhyAndCloses_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("unsigned, German")
            << "ZELTAN QXR3303"
            << "io_quillet_dist_pp1_016.2528A.fhx"
            << QStringLiteral("FEHLER: Firmware-Datei ist nicht signiert!\r\nApp schlie\u00dfen");
        QTest::newRow("mismatch, German")
            << "ZELTAN QXR3303"
            << "io_quillet_dist_pp1_017.2528A_secure_signed.fhx"
            << QStringLiteral(
                   "FEHLER: Nicht\u00fcbereinstimmung der Firmware-Datei!\r\nApp schlie\u00dfen");
        QTest::newRow("unsupported, English")
            << "MORVAL 999" << kGoodFile
            << QStringLiteral("ERROR: Selected product is not supported!\r\nClosing tool");
        QTest::newRow("invalid extension, English")
            << "JOXGroup Ra4400"
            << "io_quillet_dist_pp1_013.1_secure_signed.bin"
            << QStringLiteral("ERROR: Firmware file is invlaid!\r\nClosing tool");
    }

    void mismatchedBuildSaysWhyAndCloses()
    {
        QFETCH(QString, product);
        QFETCH(QString, file);
        QFETCH(QString, message);
        WorkflowHarness h;
        h.printers.attach(h.printer("S1"));
        Form1 &form = h.start({ product, file }, false);

        QVERIFY(form.closedDuringLoad());
        QVERIFY(!form.isVisible());
        QCOMPARE(h.messages.size(), 1u);
        QCOMPARE(h.messages[0].type, 1);
        QCOMPARE(h.messages[0].text, message);
        QVERIFY(h.printers.snapshot(1).commands.empty()); // nothing was sent to any printer
    }

    void missingBuildTextGivesTwoMessages()
    {
        WorkflowHarness h;
        Form1 &form = h.start({ QStringLiteral("ZELTAN QXR3303"), QString() }, false);
        QVERIFY(form.closedDuringLoad());
        QCOMPARE(h.errorBoxes,
            QStringList({ QStringLiteral(
                "AUTO_BUILD ERROR: Firmware file name OR Product name missing!") }));
        QCOMPARE(h.messages.size(), 1u);
        QCOMPARE(h.messages[0].text,
            QStringLiteral("FEHLER: Firmware-Datei oder Produktname fehlt!\r\nApp schlie\u00dfen"));
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
