// Start-up: from a constructed window to the Ready state, or to the end of the program when
// the firmware does not fit the product.
#include "firmware/identity_check.h"
#include "printer_link/platform.h"
#include "ui/form1.h"
#include "workflow/device_change_notifier.h"
#ifdef VORNIK_DESKTOP_HOLD
#include "workflow/desktop_hold.h"
#endif

#include <QLabel>
#include <QTabBar>
#include <QTabWidget>

#include <exception>

void Form1::Form1_Load()
{
#ifdef VORNIK_DESKTOP_HOLD
    // The desktop's hold where the printer layer brings none (it does on Windows).
    InstallDesktopSessionHold();
#endif
    if (vornik::DevicePlatform *devices = vornik::CurrentPlatform().devices) {
        new DeviceChangeNotifier(
            *devices, [this] { WndProc(kWmDeviceChange, kDbtDevNodesChanged); }, this,
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
            buildNumber_ = BuildTexts::buildNumberOf(buildText);
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
