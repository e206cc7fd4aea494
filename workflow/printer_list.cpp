// The operator's list of supported printers, kept in step with what is plugged in.
#include "printer_link/platform.h"
#include "printer_link/printer_link.h"
#include "ui/form1.h"
#include "workflow/print_system.h"
#include "workflow/printer_info.h"

#include <QListWidget>

#include <exception>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

QString FailureText(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

// The account's login name, for the command the notice suggests.
QString AccountName()
{
#ifdef Q_OS_UNIX
    if (const passwd *account = getpwuid(geteuid()); account && account->pw_name)
        return QString::fromLocal8Bit(account->pw_name);
#endif
    const QString fromEnvironment = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    return fromEnvironment.isEmpty() ? QStringLiteral("USER") : fromEnvironment;
}

} // namespace

void Form1::WndProc(quint32 message, quintptr wParam)
{
    if (message != kWmDeviceChange || wParam != kDbtDevNodesChanged)
        return;
    // A notice that comes in while a listing pumps events is dropped, not deferred: the
    // listing under way already looks at the devices as they are now.
    if (gUSBPnPDetected != 0) {
        // After the run, though, a printer may have come back meanwhile: look again later.
        if (watchingReturns_)
            returnNoticeMissed_ = true;
        return;
    }
    gUSBPnPDetected = 1;
    App_USBEvent_Handler();
}

void Form1::App_USBEvent_Handler()
{
    try {
        if (g_BlockUsbEnumeration == 0)
            App_EnumerateSupportedPrintersInIdleMode();
        else if (watchingReturns_)
            App_WatchForReturn_Handler();
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, FailureText(error), 0, 0);
    }
    // Cleared on every path: a guard left set would silence every later notice.
    gUSBPnPDetected = 0;
    // Told only now, with the guard down: the operator may read the notice for a while, and a
    // printer plugged in meanwhile must still reach the list.
    App_ShowPrinterAccessNotice();
    App_ShowPrintersTakenNotice();
}

void Form1::App_ShowPrinterAccessNotice()
{
    // Once: a printer that keeps coming and going must not bring the notice back each time.
    if (printersWithoutAccess_ <= 0 || printerAccessNoticeShown_)
        return;
    printerAccessNoticeShown_ = true;
    const int count = printersWithoutAccess_;
    qWarning(
        "VornikFDU: %d USB printer(s) found that this account may not open (permission denied); "
        "add the account to group lp or install the package's udev rule",
        count);
    try {
        App_ShowUIMessage_Handler(
            1, StrRes("StrRes_PrinterAccessDenied").arg(count).arg(AccountName()), 0, 0);
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, FailureText(error), 0, 0);
    }
}

void Form1::App_ShowPrintersTakenNotice()
{
    // Such a printer has no node at all: without this it would be missing without a word.
    if (printersTaken_ <= 0 || printersTakenNoticeShown_)
        return;
    printersTakenNoticeShown_ = true;
    const int count = printersTaken_;
    const QString program = ProgramHoldingPrinters();
    qWarning("VornikFDU: %d USB printer(s) found that another program (%s) has taken from the "
             "printer driver",
        count, program.isEmpty() ? "not known" : qPrintable(program));
    try {
        const char *key = program == QLatin1String("ipp-usb") ? "StrRes_PrintersTakenByIppUsb"
                                                              : "StrRes_PrintersTaken";
        App_ShowUIMessage_Handler(1, StrRes(key).arg(count), 0, 0);
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, FailureText(error), 0, 0);
    }
}

void Form1::App_EnumerateSupportedPrintersInIdleMode()
{
    try {
        SupportedPrinterCheckedListBox->clear();
        const int enumerated = Lib_EnumeratePrinterClassPnPDevices(&gUSBPrinterClassDeviceInfo);
        const vornik::DevicePlatform *devices = vornik::CurrentPlatform().devices;
        printersWithoutAccess_ = devices ? devices->deniedInLastEnumeration() : 0;
        printersTaken_ = devices ? devices->takenInLastEnumeration() : 0;
        if (enumerated != 0) {
            App_ClearPrinterInfo(QStringLiteral("IDLE"));
            const std::u16string product = texts_.productName.toStdU16String();
            USBPrinterClassDeviceInfo &idle = gFDUPrinterInfo.IdleModeInfo;
            const int found = Lib_GetSupportedPrinterDeviceInfo(
                product.c_str(), &idle, &gUSBPrinterClassDeviceInfo);
            if (found > 0) {
                RepaintsHeldBack held(SupportedPrinterCheckedListBox);
                SupportedPrinterCheckedListBox->clear();
                for (int i = 0; i < found; ++i) {
                    auto *entry = new QListWidgetItem(QString::fromUtf16(idle.ProductName[i])
                        + QStringLiteral("[SN#:") + QString::fromUtf16(idle.SerialNumber[i])
                        + QStringLiteral("]"));
                    // Unticked: the list gives every line it takes its tick box (ui/form1.cpp).
                    SupportedPrinterCheckedListBox->addItem(entry);
                }
            }
        }
        PumpEvents();
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, FailureText(error), 0, 0);
    }
}

void Form1::App_EnumerateSupportedPrintersInFlashMode()
{
    try {
        if (Lib_EnumeratePrinterClassPnPDevices(&gUSBPrinterClassDeviceInfo) != 0) {
            App_ClearPrinterInfo(QStringLiteral("FLASH"));
            USBPrinterClassDeviceInfo &flash = gFDUPrinterInfo.FlashModeInfo;
            const USBPrinterClassDeviceInfo &idle = gFDUPrinterInfo.IdleModeInfo;
            const int found = Lib_GetSupportedPrinterDeviceInfo(
                vornik::contract::kDownloadModeProductName, &flash, &gUSBPrinterClassDeviceInfo);
            for (int k = 0; k < found; ++k) {
                const std::u16string_view serial(flash.SerialNumber[k]);
                flash.Selected[k] = 0;
                for (int j = 0; j < idle.DeviceCount && j < vornik::contract::kMaxPrinters; ++j) {
                    if (idle.Selected[j] != 0
                        && serial == std::u16string_view(idle.SerialNumber[j])) {
                        flash.Selected[k] = 1;
                        break;
                    }
                }
            }
        }
        PumpEvents();
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, FailureText(error), 0, 0);
    }
}

void Form1::App_ClearPrinterInfo(const QString &param_PrinterMode)
{
    USBPrinterClassDeviceInfo &table = param_PrinterMode == QLatin1String("IDLE")
        ? gFDUPrinterInfo.IdleModeInfo
        : gFDUPrinterInfo.FlashModeInfo;
    table.DeviceCount = 0;
    for (int i = 0; i < vornik::contract::kMaxPrinters; ++i) {
        table.DevicePath[i][0] = u'\0';
        table.ProductName[i][0] = u'\0';
        table.SerialNumber[i][0] = u'\0';
    }
}

void UI_CopyManagedStringToWcharArray(const QString &param_ManagedStr, char16_t *param_WcharArray)
{
    const qsizetype units
        = std::min<qsizetype>(param_ManagedStr.size(), vornik::contract::kTextUnits - 1);
    const auto *source = reinterpret_cast<const char16_t *>(param_ManagedStr.constData());
    std::copy(source, source + units, param_WcharArray);
    param_WcharArray[units] = u'\0';
}
