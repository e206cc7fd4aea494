// Brand decisions taken from the product name, and the language button: what a language change
// rewrites, what it leaves alone, and what happens when it cannot find its texts.
#include "ui_support.h"

#include "ui/string_table.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {

const char *const kCodes[] = { "EN", "DE", "ES", "FR" };

QString tableText(int language, const char *key)
{
    return StringTable::open(QStringLiteral("VornikFDU.") + QLatin1String(kCodes[language]))
        ->lookup(key);
}

} // namespace

class BrandingTest : public QObject {
    Q_OBJECT

private slots:
    void productNameDecidesLanguageLogoAndNotice_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("logo");
        QTest::addColumn<QByteArray>("notice");

        QTest::newRow("ZELTAN") << "ZELTAN QXR3303" << 1 << 0
                                << QByteArray("StrRes_Copyright_Zeltan");
        QTest::newRow("MORVAL") << "MORVAL MX20" << 0 << 1 << QByteArray("StrRes_Copyright_Morval");
        QTest::newRow("quadrix") << "quadrix Q7" << 1 << 2
                                 << QByteArray("StrRes_Copyright_Quadrix");
        QTest::newRow("JOX") << "JOX 4400" << 0 << 3 << QByteArray("StrRes_Copyright_JOX");
        QTest::newRow("TAZ") << "TAZ Pro 9" << 0 << 0 << QByteArray("StrRes_Copyright_TAZ");
        QTest::newRow("no brand") << "Acme P1" << 0 << 0 << QByteArray("StrRes_Copyright_Zeltan");
        QTest::newRow("empty") << "" << 0 << 0 << QByteArray("StrRes_Copyright_Zeltan");
        // Case-sensitive: other spellings fall through to the later tests.
        QTest::newRow("Quadrix capitalised")
            << "Quadrix Q7" << 0 << 0 << QByteArray("StrRes_Copyright_Zeltan");
        QTest::newRow("QUADRIX then JOX")
            << "QUADRIX by JOX" << 0 << 3 << QByteArray("StrRes_Copyright_JOX");
        QTest::newRow("zeltan lower case")
            << "zeltan taz" << 0 << 0 << QByteArray("StrRes_Copyright_Zeltan");
        // Two brand words: the earlier test wins, wherever the word stands in the name.
        QTest::newRow("TAZ and ZELTAN")
            << "TAZ-ZELTAN 1" << 1 << 0 << QByteArray("StrRes_Copyright_Zeltan");
        QTest::newRow("JOX and MORVAL")
            << "JOX MORVAL" << 0 << 1 << QByteArray("StrRes_Copyright_Morval");
        QTest::newRow("TAZ and quadrix")
            << "TAZ quadrix" << 1 << 2 << QByteArray("StrRes_Copyright_Quadrix");
        QTest::newRow("JOX and TAZ") << "TAZJOX" << 0 << 3 << QByteArray("StrRes_Copyright_JOX");
        QTest::newRow("word inside a word")
            << "MAZELTANO" << 1 << 0 << QByteArray("StrRes_Copyright_Zeltan");
    }

    void productNameDecidesLanguageLogoAndNotice()
    {
        QFETCH(QString, product);
        QFETCH(int, language);
        QFETCH(int, logo);
        QFETCH(QByteArray, notice);

        Form1 form(testTexts(product));
        std::vector<RecordedMessage> messages;
        form.dialogRunner = RecordMessages(messages);
        form.App_LoadProductLogo();
        form.App_SelectDefaultLanguage();
        form.App_OpenStringTables();
        form.App_ChangeLanguage(form.gLanguageImageListIndex);

        QCOMPARE(form.gLanguageImageListIndex, language);
        QVERIFY(samePicture(form.MfgIconPicBox->pixmap(), form.IconImageList.image(logo)));
        QVERIFY(samePicture(form.LangButton->icon().pixmap(form.LangImageList.imageSize()),
            form.LangImageList.image(language)));
        QCOMPARE(form.CopyrightLabel->text(), tableText(language, notice.constData()));
        QCOMPARE(form.FDUProductNameLabel->text(), product + QStringLiteral(" FDU"));
        QVERIFY(messages.empty());
    }

    void languageButtonCyclesThroughAllFour_data()
    {
        QTest::addColumn<int>("presses");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("start");
        QTest::newRow("one") << 1 << 2 << QStringLiteral("Comienzo");
        QTest::newRow("two") << 2 << 3 << QStringLiteral("D\u00e9marrer");
        QTest::newRow("three") << 3 << 0 << QStringLiteral("START");
        QTest::newRow("four, round again") << 4 << 1 << QStringLiteral("Anfang");
        QTest::newRow("nine") << 9 << 2 << QStringLiteral("Comienzo");
    }

    void languageButtonCyclesThroughAllFour()
    {
        QFETCH(int, presses);
        QFETCH(int, language);
        QFETCH(QString, start);

        Form1 form(testTexts());
        form.App_LoadProductLogo();
        form.App_SelectDefaultLanguage();
        form.App_OpenStringTables();
        form.App_ChangeLanguage(form.gLanguageImageListIndex);
        QCOMPARE(form.gLanguageImageListIndex, 1);

        for (int i = 0; i < presses; ++i)
            form.LangButton->click();

        QCOMPARE(form.gLanguageImageListIndex, language);
        QCOMPARE(form.StartButton->text(), start);
        QVERIFY(samePicture(form.LangButton->icon().pixmap(form.LangImageList.imageSize()),
            form.LangImageList.image(language)));
        const std::pair<QWidget *, const char *> rewritten[] = {
            { form.SupportedPrinterLabel, "StrRes_SupportedPrinterList" },
            { form.InstructionsLabel, "StrRes_Instructions" },
            { form.ConnectionWarningLabel, "StrRes_ConnectionWarning" },
            { form.InstructionCaptionLabel, "StrRes_InstructionCaption" },
            { form.StartButton, "StrRes_Start" },
            { form.PrinterSerialNumLabel, "StrRes_PrinterSerialNum" },
            { form.FDUStatusLabel, "StrRes_Status" },
            { form.AppCloseButton, "StrRes_Close" },
            { form.CopyrightLabel, "StrRes_Copyright_Zeltan" },
        };
        for (const auto &[widget, key] : rewritten) {
            const QString shown = qobject_cast<QLabel *>(widget)
                ? qobject_cast<QLabel *>(widget)->text()
                : qobject_cast<QPushButton *>(widget)->text();
            QCOMPARE(shown, tableText(language, key));
        }
        QCOMPARE(form.StrRes("StrRes_UIMsgResult"), tableText(language, "StrRes_UIMsgResult"));

        // What assistive technology names them by, renewed in the same language.
        const std::pair<QWidget *, QString> named[] = {
            { form.LangButton, tableText(language, "StrRes_AccLanguageButton") },
            { form.MinimizeButton, tableText(language, "StrRes_AccMinimize") },
            { form.CloseButton, tableText(language, "StrRes_AccCloseWindow") },
            { form.PrinterStatusButton, tableText(language, "StrRes_AccBusySign") },
            { form.MfgIconPicBox, tableText(language, "StrRes_AccLogo").arg("ZELTAN") },
            { form.WarningPicBox, tableText(language, "StrRes_AccWarning") },
            { form.SupportedPrinterCheckedListBox,
                tableText(language, "StrRes_SupportedPrinterList") },
            { form.FDUPrinterListBox, tableText(language, "StrRes_PrinterSerialNum") },
            { form.FDUStatusListBox, tableText(language, "StrRes_Status") },
            { form.StartButton, tableText(language, "StrRes_Start") },
            { form.AppCloseButton, tableText(language, "StrRes_Close") },
            { form.CopyrightLabel, tableText(language, "StrRes_Copyright_Zeltan") },
        };
        for (const auto &[widget, name] : named)
            QCOMPARE(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), name);
    }

    void languageChangeLeavesShownLinesAlone()
    {
        Form1 form(testTexts());
        form.App_SelectDefaultLanguage();
        form.App_OpenStringTables();
        form.App_ChangeLanguage(form.gLanguageImageListIndex);

        // What start-up does once the firmware is confirmed: the suffix goes on the label only.
        form.gFhxBuildNumStr = QStringLiteral("   [Build: 2528A]");
        form.FDUProductNameLabel->setText(form.FDUProductNameLabel->text() + form.gFhxBuildNumStr);
        QCOMPARE(form.windowTitle(), QStringLiteral("ZELTAN QXR3303 FDU"));

        form.SupportedPrinterCheckedListBox->addItem(QStringLiteral("ZELTAN QXR3303[SN#:A1]"));
        form.FDUPrinterListBox->addItem(QStringLiteral("A1"));
        form.FDUStatusListBox->addItem(form.StrRes("StrRes_StatusInIdleMode"));
        form.Progress_UpdateStepsLabel->setText(
            form.StrRes("StrRes_ProgressUpdateSteps") + QStringLiteral("1/3"));

        form.LangButton->click();

        QCOMPARE(form.gLanguageImageListIndex, 2);
        QCOMPARE(form.FDUProductNameLabel->text(),
            QStringLiteral("ZELTAN QXR3303 FDU   [Build: 2528A]"));
        QCOMPARE(form.windowTitle(), form.FDUProductNameLabel->text());
        QCOMPARE(form.SupportedPrinterCheckedListBox->item(0)->text(),
            QStringLiteral("ZELTAN QXR3303[SN#:A1]"));
        QCOMPARE(form.FDUPrinterListBox->item(0)->text(), QStringLiteral("A1"));
        QCOMPARE(form.FDUStatusListBox->item(0)->text(), QStringLiteral("Bereit"));
        QCOMPARE(
            form.Progress_UpdateStepsLabel->text(), QStringLiteral("Bearbeitungsschritt: 1/3"));
    }

    void languageChangeWithoutTablesIsReported_data()
    {
        QTest::addColumn<bool>("viaButton");
        QTest::newRow("change") << false;
        QTest::newRow("button") << true;
    }

    void languageChangeWithoutTablesIsReported()
    {
        QFETCH(bool, viaButton);
        Form1 form(testTexts());
        std::vector<RecordedMessage> messages;
        form.dialogRunner = RecordMessages(messages);
        form.gLanguageImageListIndex = 3;
        form.StartButton->setText(QStringLiteral("before"));

        if (viaButton)
            form.LangButton->click();
        else
            form.App_ChangeLanguage(3);

        QCOMPARE(messages.size(), std::size_t(1));
        QCOMPARE(messages[0].type, 1);
        QCOMPARE(messages[0].total, 0);
        QCOMPARE(messages[0].updated, 0);
        QVERIFY(messages[0].text.contains(QLatin1String("StrRes_Copyright_Zeltan")));
        // The index keeps what it reached; texts set before the failure keep their new value.
        QCOMPARE(form.gLanguageImageListIndex, viaButton ? 0 : 3);
        QCOMPARE(form.FDUProductNameLabel->text(), QStringLiteral("ZELTAN QXR3303 FDU"));
        QCOMPARE(form.windowTitle(), QStringLiteral("ZELTAN QXR3303 FDU"));
        QCOMPARE(form.StartButton->text(), QStringLiteral("before"));
    }
};

QTEST_MAIN(BrandingTest)
#include "test_branding.moc"
