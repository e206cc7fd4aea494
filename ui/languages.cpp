// Languages and branding of the main window: the four string tables, the current language, the
// language button, and what the build's product name decides (start language, logo, copyright
// notice). Every brand decision is an ordinal, case-sensitive substring test on the product
// name, tried in a fixed order, first match wins; one binary serves every brand by changing only
// the product name it is built with.
#include "ui/form1.h"

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <array>
#include <stdexcept>

namespace {

// The tables are named after the product executable, whichever binary carries them (the
// tests and the bench embed the same tables).
constexpr char kTableBaseName[] = "VornikFDU";
// Table codes in language-index order: English, German, Spanish, French.
constexpr std::array<const char *, 4> kTableCodes = { ".EN", ".DE", ".ES", ".FR" };

struct BrandRule {
    const char16_t *word;
    int value;
};

template<std::size_t N>
int firstMatch(const QString &productName, const std::array<BrandRule, N> &rules, int otherwise)
{
    for (const BrandRule &rule : rules) {
        if (productName.contains(QStringView(rule.word), Qt::CaseSensitive))
            return rule.value;
    }
    return otherwise;
}

constexpr std::array<BrandRule, 4> kStartLanguage = { {
    { u"ZELTAN", 1 },
    { u"MORVAL", 0 },
    { u"quadrix", 1 },
    { u"JOX", 0 },
} };

// TAZ has no logo of its own and shows ZELTAN's.
constexpr std::array<BrandRule, 4> kLogo = { {
    { u"ZELTAN", 0 },
    { u"MORVAL", 1 },
    { u"quadrix", 2 },
    { u"JOX", 3 },
} };

constexpr std::array<const char *, 5> kCopyrightKeys = {
    "StrRes_Copyright_Zeltan",
    "StrRes_Copyright_Morval",
    "StrRes_Copyright_Quadrix",
    "StrRes_Copyright_JOX",
    "StrRes_Copyright_TAZ",
};
constexpr std::array<BrandRule, 5> kCopyright = { {
    { u"ZELTAN", 0 },
    { u"MORVAL", 1 },
    { u"quadrix", 2 },
    { u"JOX", 3 },
    { u"TAZ", 4 },
} };

void showLanguageImage(Form1 &form)
{
    const QPixmap flag = form.LangImageList.image(form.gLanguageImageListIndex);
    form.LangButton->setIcon(QIcon(flag));
}

} // namespace

void Form1::App_OpenStringTables()
{
    gLangResourceManager.clear();
    gLangResourceManager.resize(LangImageList.count());
    for (int i = 0; i < LangImageList.count() && i < int(kTableCodes.size()); ++i) {
        gLangResourceManager[i] = StringTable::open(
            QString::fromLatin1(kTableBaseName) + QString::fromLatin1(kTableCodes[i]));
    }
}

QString Form1::StrRes(const char *key) const
{
    const int index = gLanguageImageListIndex;
    if (index < 0 || index >= int(gLangResourceManager.size()) || !gLangResourceManager[index])
        throw std::runtime_error(
            std::string("The string tables are not open; cannot look up \"") + key + "\".");
    return gLangResourceManager[index]->lookup(key);
}

void Form1::App_SelectDefaultLanguage()
{
    gLanguageImageListIndex = firstMatch(texts_.productName, kStartLanguage, 0);
    showLanguageImage(*this);
}

void Form1::App_LoadProductLogo()
{
    MfgIconPicBox->setPixmap(IconImageList.image(firstMatch(texts_.productName, kLogo, 0)));
}

void Form1::App_ChangeLanguage(int param_LangIndex)
{
    // The current language is the one applied, whatever the caller passed.
    Q_UNUSED(param_LangIndex);
    try {
        FDUProductNameLabel->setText(texts_.caption() + gFhxBuildNumStr);
        setWindowTitle(FDUProductNameLabel->text());

        CopyrightLabel->setText(
            StrRes(kCopyrightKeys[firstMatch(texts_.productName, kCopyright, 0)]));

        SupportedPrinterLabel->setText(StrRes("StrRes_SupportedPrinterList"));
        InstructionsLabel->setText(StrRes("StrRes_Instructions"));
        ConnectionWarningLabel->setText(StrRes("StrRes_ConnectionWarning"));
        InstructionCaptionLabel->setText(StrRes("StrRes_InstructionCaption"));
        StartButton->setText(StrRes("StrRes_Start"));
        PrinterSerialNumLabel->setText(StrRes("StrRes_PrinterSerialNum"));
        FDUStatusLabel->setText(StrRes("StrRes_Status"));
        AppCloseButton->setText(StrRes("StrRes_Close"));

        // What assistive technology says of the elements that show a picture rather than a
        // text, and the lists, named by their headers.
        LangButton->setAccessibleName(StrRes("StrRes_AccLanguageButton"));
        MinimizeButton->setAccessibleName(StrRes("StrRes_AccMinimize"));
        CloseButton->setAccessibleName(StrRes("StrRes_AccCloseWindow"));
        PrinterStatusButton->setAccessibleName(StrRes("StrRes_AccBusySign"));
        MfgIconPicBox->setAccessibleName(
            StrRes("StrRes_AccLogo")
                .arg(IconImageList.key(firstMatch(texts_.productName, kLogo, 0))));
        WarningPicBox->setAccessibleName(StrRes("StrRes_AccWarning"));
        SupportedPrinterCheckedListBox->setAccessibleName(SupportedPrinterLabel->text());
        FDUPrinterListBox->setAccessibleName(PrinterSerialNumLabel->text());
        FDUStatusListBox->setAccessibleName(FDUStatusLabel->text());

        QCoreApplication::processEvents();
    } catch (const std::exception &e) {
        App_ShowUIMessage_Handler(1, QString::fromUtf8(e.what()), 0, 0);
    } catch (...) {
        App_ShowUIMessage_Handler(
            1, QStringLiteral("Unknown error while changing the language."), 0, 0);
    }
}

void Form1::App_LangButton_Handler()
{
    try {
        ++gLanguageImageListIndex;
        if (gLanguageImageListIndex >= LangImageList.count())
            gLanguageImageListIndex = 0;
        showLanguageImage(*this);
        QCoreApplication::processEvents();
        App_ChangeLanguage(gLanguageImageListIndex);
    } catch (const std::exception &e) {
        App_ShowUIMessage_Handler(1, QString::fromUtf8(e.what()), 0, 0);
    } catch (...) {
        App_ShowUIMessage_Handler(
            1, QStringLiteral("Unknown error while changing the language."), 0, 0);
    }
}
