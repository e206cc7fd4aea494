// Start-up: from a constructed window to the Ready state, or to the end of the program when
// the firmware does not fit the product.
#include "firmware/identity_check.h"
#include "printer_link/platform.h"
#include "ui/form1.h"
#include "workflow/device_change_notifier.h"

#include <QLabel>
#include <QTabBar>
#include <QTabWidget>

#include <exception>

void Form1::Form1_Load()
{
    if (vornik::DevicePlatform *devices = vornik::CurrentPlatform().devices) {
        new DeviceChangeNotifier(
            *devices, [this] { WndProc(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED); }, this,
            [this] { return App_AcceptDeviceNotice(); });
    }
    App_Form1Load_Handler();
}

void Form1::App_Form1Load_Handler()
{
    QString buildText;
    gFhxBuildNumStr.clear();
    try {
        // Only the program switches pages.
        MainTabControl->tabBar()->hide();
        PrinterSelectTabControl->tabBar()->hide();

        App_LoadProductLogo();
        App_SelectDefaultLanguage();
        App_OpenStringTables();
        App_ChangeLanguage(gLanguageImageListIndex);
        PumpEvents();
        App_USBEvent_Handler();

        if (App_IsCorrectFlashFile(buildText) == 1) {
            gFhxBuildNumStr = buildText.isEmpty()
                ? QStringLiteral("   [Build: ?]")
                : QStringLiteral("   [Build: ") + buildText + QStringLiteral("]");
            FDUProductNameLabel->setText(FDUProductNameLabel->text() + gFhxBuildNumStr);
            // The number alone, without a branch suffix (which begins with a blank): what a
            // printer's firmware revision is held against after the run.
            buildNumber_ = buildText.section(QLatin1Char(' '), 0, 0);
        } else {
            closedDuringLoad_ = true;
            close();
        }
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, QString::fromUtf8(error.what()), 0, 0);
    }
}

int Form1::App_IsCorrectFlashFile(QString &param_FWBuildStr)
{
    try {
        char16_t buildText[kBuildTextUnits] = {};
        const QString &product = texts_.productName;
        const QString &file = texts_.firmwareFileName;
        const int result = Lib_FlashFileValidityCheck(
            product.isNull() ? nullptr : reinterpret_cast<const char16_t *>(product.utf16()),
            file.isNull() ? nullptr : reinterpret_cast<const char16_t *>(file.utf16()), buildText,
            kBuildTextUnits);
        if (result == kFhxOk) {
            param_FWBuildStr = QString::fromUtf16(buildText);
            return 1;
        }
        const char *key = "StrRes_FhxFileError";
        switch (result) {
        case kFhxNameMissing:
            key = "StrRes_FhxFileMissing";
            break;
        case kFhxMismatch:
            key = "StrRes_FhxMismatch";
            break;
        case kFhxUnsigned:
            key = "StrRes_FhxUnsigned";
            break;
        case kFhxInvalidExtension:
            key = "StrRes_FhxInvalidExtension";
            break;
        case kFhxUnsupportedProduct:
            key = "StrRes_FhxUnsupportedProduct";
            break;
        }
        const QString message = StrRes(key);
        if (!message.isEmpty())
            App_ShowUIMessage_Handler(1, message, 0, 0);
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, QString::fromUtf8(error.what()), 0, 0);
    }
    return 0;
}
