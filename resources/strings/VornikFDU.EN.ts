<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name></name>
    <message id="StrRes_AllUpdated">
        <source>All selected printers have been updated.Updated printers would be OFF.</source>
        <translation>All selected printers have been updated.Updated printers would be OFF.</translation>
    </message>
    <message id="StrRes_Close">
        <source>CLOSE</source>
        <translation>CLOSE</translation>
    </message>
    <message id="StrRes_ConnectPrinter">
        <source>Please connect atleast one printer</source>
        <translation>Please connect atleast one printer</translation>
    </message>
    <message id="StrRes_ConnectionWarning">
        <source>Do not disconnect printer while updating!</source>
        <translation>Do not disconnect printer while updating!</translation>
    </message>
    <message id="StrRes_Copyright_Zeltan">
        <source>© 2026 ZELTAN Corporation. All rights reserved.</source>
        <translation>© 2026 ZELTAN Corporation. All rights reserved.</translation>
    </message>
    <message id="StrRes_Copyright_Morval">
        <source>© 2026 MORVAL Imaging Ltd. All rights reserved.</source>
        <translation>© 2026 MORVAL Imaging Ltd. All rights reserved.</translation>
    </message>
    <message id="StrRes_Copyright_Quadrix">
        <source>© 2026 Quadrix Systems Inc. All rights reserved.</source>
        <translation>© 2026 Quadrix Systems Inc. All rights reserved.</translation>
    </message>
    <message id="StrRes_Copyright_JOX">
        <source>© 2026 JOX Printing Co. All rights reserved.</source>
        <translation>© 2026 JOX Printing Co. All rights reserved.</translation>
    </message>
    <message id="StrRes_Copyright_TAZ">
        <source>© 2026 TAZ Technologies. All rights reserved.</source>
        <translation>© 2026 TAZ Technologies. All rights reserved.</translation>
    </message>
    <message id="StrRes_FhxFileError">
        <source>ERROR: Firmware file!&#13;&#10;Closing tool</source>
        <translation>ERROR: Firmware file!&#13;&#10;Closing tool</translation>
    </message>
    <message id="StrRes_FhxFileMissing">
        <source>ERROR: Firmware file or product name missing!&#13;&#10;Closing tool</source>
        <translation>ERROR: Firmware file or product name missing!&#13;&#10;Closing tool</translation>
    </message>
    <message id="StrRes_FhxInvalidExtension">
        <source>ERROR: Firmware file is invlaid!&#13;&#10;Closing tool</source>
        <translation>ERROR: Firmware file is invlaid!&#13;&#10;Closing tool</translation>
    </message>
    <message id="StrRes_FhxMismatch">
        <source>ERROR: Firmware file mismatch!&#13;&#10;Closing tool</source>
        <translation>ERROR: Firmware file mismatch!&#13;&#10;Closing tool</translation>
    </message>
    <message id="StrRes_FhxUnsigned">
        <source>ERROR: Firmware file is not signed!&#13;&#10;Closing tool</source>
        <translation>ERROR: Firmware file is not signed!&#13;&#10;Closing tool</translation>
    </message>
    <message id="StrRes_FhxUnsupportedProduct">
        <source>ERROR: Selected product is not supported!&#13;&#10;Closing tool</source>
        <translation>ERROR: Selected product is not supported!&#13;&#10;Closing tool</translation>
    </message>
    <message id="StrRes_FiirmwareNotFound">
        <source>Build Error: Could not find firmware resource file!</source>
        <translation>Build Error: Could not find firmware resource file!</translation>
    </message>
    <message id="StrRes_FirmwareLoadFail">
        <source>Error: Could not load firmware resource file!</source>
        <translation>Error: Could not load firmware resource file!</translation>
    </message>
    <message id="StrRes_FirmwareZeroBytes">
        <source>Error: Firmware resource file size is 0 bytes!</source>
        <translation>Error: Firmware resource file size is 0 bytes!</translation>
    </message>
    <message id="StrRes_InstructionCaption">
        <source>Printer firmware update instructions</source>
        <translation>Printer firmware update instructions</translation>
    </message>
    <message id="StrRes_Instructions">
        <source>1. Power ON printer&#13;&#10;2. Wait until printer is IDLE/Ready&#13;&#10;3. Connect to printer via USB&#13;&#10;4. Wait for printer detection&#13;&#10;5. Select printer from list&#13;&#10;6. Press "START" button to start updating printer firmware</source>
        <translation>1. Power ON printer&#13;&#10;2. Wait until printer is IDLE/Ready&#13;&#10;3. Connect to printer via USB&#13;&#10;4. Wait for printer detection&#13;&#10;5. Select printer from list&#13;&#10;6. Press "START" button to start updating printer firmware</translation>
    </message>
    <message id="StrRes_PrinterAccessDenied">
        <source>USB printers found that this user account may not open, and that are therefore not listed: %1&#13;&#10;To allow it: add the account to group lp (sudo adduser %2 lp) and log in again, or install the vornikfdu package, whose udev rule gives the person at this computer access.</source>
        <translation>USB printers found that this user account may not open, and that are therefore not listed: %1&#13;&#10;To allow it: add the account to group lp (sudo adduser %2 lp) and log in again, or install the vornikfdu package, whose udev rule gives the person at this computer access.</translation>
    </message>
    <message id="StrRes_PrintersTaken">
        <source>USB printers found that another program has taken from the printer driver, and that are therefore not listed: %1&#13;&#10;To update them: let that program finish or close it (a print job, or a search for printers in the printer settings), then unplug each of these printers and plug it in again.</source>
        <translation>USB printers found that another program has taken from the printer driver, and that are therefore not listed: %1&#13;&#10;To update them: let that program finish or close it (a print job, or a search for printers in the printer settings), then unplug each of these printers and plug it in again.</translation>
    </message>
    <message id="StrRes_PrintersTakenByIppUsb">
        <source>USB printers found that ipp-usb, the service for driverless printing over USB, has taken from the printer driver, and that are therefore not listed: %1&#13;&#10;To update them: install the vornikfdu package, which keeps ipp-usb away from these printers, or stop ipp-usb for the update (sudo systemctl mask --runtime --now ipp-usb; undone with sudo systemctl unmask --runtime ipp-usb, or by restarting the computer), then unplug each of these printers and plug it in again.</source>
        <translation>USB printers found that ipp-usb, the service for driverless printing over USB, has taken from the printer driver, and that are therefore not listed: %1&#13;&#10;To update them: install the vornikfdu package, which keeps ipp-usb away from these printers, or stop ipp-usb for the update (sudo systemctl mask --runtime --now ipp-usb; undone with sudo systemctl unmask --runtime ipp-usb, or by restarting the computer), then unplug each of these printers and plug it in again.</translation>
    </message>
    <message id="StrRes_PrinterSerialNum">
        <source>Serial #</source>
        <translation>Serial #</translation>
    </message>
    <message id="StrRes_ProgressUpdateSteps">
        <source>Processing step: </source>
        <translation>Processing step: </translation>
    </message>
    <message id="StrRes_RunHoldReason">
        <source>Printer firmware is being updated</source>
        <translation>Printer firmware is being updated</translation>
    </message>
    <message id="StrRes_SelectPrinter">
        <source>Please select atleast one printer</source>
        <translation>Please select atleast one printer</translation>
    </message>
    <message id="StrRes_SomeUpdated">
        <source>ERROR:Failed to update some printers!&#13;&#10;Please check status for each printer.&#13;&#10;Updated printers would be OFF.</source>
        <translation>ERROR:Failed to update some printers!&#13;&#10;Please check status for each printer.&#13;&#10;Updated printers would be OFF.</translation>
    </message>
    <message id="StrRes_Start">
        <source>START</source>
        <translation>START</translation>
    </message>
    <message id="StrRes_Status">
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message id="StrRes_StatusFlashModeFail">
        <source>ERROR: Failed to set flash mode</source>
        <translation>ERROR: Failed to set flash mode</translation>
    </message>
    <message id="StrRes_StatusFlashingTimeout">
        <source>Error: Flashing timeout!</source>
        <translation>Error: Flashing timeout!</translation>
    </message>
    <message id="StrRes_StatusInFlashMode">
        <source>Flash mode</source>
        <translation>Flash mode</translation>
    </message>
    <message id="StrRes_StatusInIdleMode">
        <source>Idle mode</source>
        <translation>Idle mode</translation>
    </message>
    <message id="StrRes_StatusPrinterNotConnected">
        <source>Error: Printer not connected!</source>
        <translation>Error: Printer not connected!</translation>
    </message>
    <message id="StrRes_StatusPrinterNotFound">
        <source>Error: Printer not found!</source>
        <translation>Error: Printer not found!</translation>
    </message>
    <message id="StrRes_StatusSendingFhx">
        <source>Sending firmware file ...</source>
        <translation>Sending firmware file ...</translation>
    </message>
    <message id="StrRes_StatusSettingFlashMode">
        <source>Setting to flash mode ...</source>
        <translation>Setting to flash mode ...</translation>
    </message>
    <message id="StrRes_StatusStoringAndUpdating">
        <source>Storing and updating firmware ...</source>
        <translation>Storing and updating firmware ...</translation>
    </message>
    <message id="StrRes_StatusUpdateCompleted">
        <source>Firmware update: completed</source>
        <translation>Firmware update: completed</translation>
    </message>
    <message id="StrRes_StatusUpdateTimeout">
        <source>Firmware update: timeout!</source>
        <translation>Firmware update: timeout!</translation>
    </message>
    <message id="StrRes_SupportedPrinterList">
        <source>Printer list</source>
        <translation>Printer list</translation>
    </message>
    <message id="StrRes_UIMsgResult">
        <source>printers updated</source>
        <translation>printers updated</translation>
    </message>
    <message id="StrRes_CopyReport">
        <source>Copy report</source>
        <translation>Copy report</translation>
    </message>
    <message id="StrRes_ReturnFirmware">
        <source>back on the bus after %1; reports firmware %2</source>
        <translation>back on the bus after %1; reports firmware %2</translation>
    </message>
    <message id="StrRes_ReturnNewFirmware">
        <source>back on the bus after %1; reports firmware %2, which contains build number %3</source>
        <translation>back on the bus after %1; reports firmware %2, which contains build number %3</translation>
    </message>
    <message id="StrRes_ReturnOtherFirmware">
        <source>back on the bus after %1; reports firmware %2, which does not contain build number %3</source>
        <translation>back on the bus after %1; reports firmware %2, which does not contain build number %3</translation>
    </message>
    <message id="StrRes_ReturnBusy">
        <source>back on the bus after %1; is not asked for its firmware revision while its status is %2</source>
        <translation>back on the bus after %1; is not asked for its firmware revision while its status is %2</translation>
    </message>
    <message id="StrRes_ReturnNoRevision">
        <source>back on the bus after %1; reports no firmware revision</source>
        <translation>back on the bus after %1; reports no firmware revision</translation>
    </message>
    <message id="StrRes_ReturnNotBackYet">
        <source>not back yet</source>
        <translation>not back yet</translation>
    </message>
    <message id="StrRes_ReturnSharedSerial">
        <source>not looked for after the run: another printer of this run has the same serial number</source>
        <translation>not looked for after the run: another printer of this run has the same serial number</translation>
    </message>
    <message id="StrRes_ReturnNoSerial">
        <source>not looked for after the run: the printer reports no serial number</source>
        <translation>not looked for after the run: the printer reports no serial number</translation>
    </message>
    <message id="StrRes_RunHoldNotBlocked">
        <source>Not blocked: %1</source>
        <translation>Not blocked: %1</translation>
    </message>
    <message id="StrRes_RunHoldSleep">
        <source>sleep</source>
        <translation>sleep</translation>
    </message>
    <message id="StrRes_RunHoldShutdown">
        <source>shutdown</source>
        <translation>shutdown</translation>
    </message>
    <message id="StrRes_RunHoldLogOff">
        <source>log-off</source>
        <translation>log-off</translation>
    </message>
    <message id="StrRes_AccLanguageButton">
        <source>Language: English. Next: German</source>
        <translation>Language: English. Next: German</translation>
    </message>
    <message id="StrRes_AccMinimize">
        <source>Minimise</source>
        <translation>Minimise</translation>
    </message>
    <message id="StrRes_AccCloseWindow">
        <source>Close the window</source>
        <translation>Close the window</translation>
    </message>
    <message id="StrRes_AccLogo">
        <source>%1 logo</source>
        <translation>%1 logo</translation>
    </message>
    <message id="StrRes_AccWarning">
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message id="StrRes_AccBusySign">
        <source>Activity indicator</source>
        <translation>Activity indicator</translation>
    </message>
</context>
</TS>
