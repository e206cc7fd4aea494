<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
<context>
    <name></name>
    <message id="StrRes_AllUpdated">
        <source>All selected printers have been updated.Updated printers would be OFF.</source>
        <translation>Alle ausgewählten Drucker wurden aktualisiert.&#13;&#10;Aktualisierte Drucker wären AUS.</translation>
    </message>
    <message id="StrRes_Close">
        <source>CLOSE</source>
        <translation>Schließen</translation>
    </message>
    <message id="StrRes_ConnectPrinter">
        <source>Please connect atleast one printer</source>
        <translation>Bitte schließen Sie mindestens einen Drucker an</translation>
    </message>
    <message id="StrRes_ConnectionWarning">
        <source>Do not disconnect printer while updating!</source>
        <translation>Trennen Sie den Drucker während des Updates nicht!</translation>
    </message>
    <message id="StrRes_Copyright_Zeltan">
        <source>© 2026 ZELTAN Corporation. All rights reserved.</source>
        <translation>© 2026 ZELTAN Corporation. Alle Rechte vorbehalten.</translation>
    </message>
    <message id="StrRes_Copyright_Morval">
        <source>© 2026 MORVAL Imaging Ltd. All rights reserved.</source>
        <translation>© 2026 MORVAL Imaging Ltd. Alle Rechte vorbehalten.</translation>
    </message>
    <message id="StrRes_Copyright_Quadrix">
        <source>© 2026 Quadrix Systems Inc. All rights reserved.</source>
        <translation>© 2026 Quadrix Systems Inc. Alle Rechte vorbehalten.</translation>
    </message>
    <message id="StrRes_Copyright_JOX">
        <source>© 2026 JOX Printing Co. All rights reserved.</source>
        <translation>© 2026 JOX Printing Co. Alle Rechte vorbehalten.</translation>
    </message>
    <message id="StrRes_Copyright_TAZ">
        <source>© 2026 TAZ Technologies. All rights reserved.</source>
        <translation>© 2026 TAZ Technologies. Alle Rechte vorbehalten.</translation>
    </message>
    <message id="StrRes_FhxFileError">
        <source>ERROR: Firmware file!&#13;&#10;Closing tool</source>
        <translation>FEHLER: Firmware-Datei!&#13;&#10;App schließen</translation>
    </message>
    <message id="StrRes_FhxFileMissing">
        <source>ERROR: Firmware file or product name missing!&#13;&#10;Closing tool</source>
        <translation>FEHLER: Firmware-Datei oder Produktname fehlt!&#13;&#10;App schließen</translation>
    </message>
    <message id="StrRes_FhxInvalidExtension">
        <source>ERROR: Firmware file is invlaid!&#13;&#10;Closing tool</source>
        <translation>FEHLER: Firmware-Datei ist ungültig!&#13;&#10;App schließen</translation>
    </message>
    <message id="StrRes_FhxMismatch">
        <source>ERROR: Firmware file mismatch!&#13;&#10;Closing tool</source>
        <translation>FEHLER: Nichtübereinstimmung der Firmware-Datei!&#13;&#10;App schließen</translation>
    </message>
    <message id="StrRes_FhxUnsigned">
        <source>ERROR: Firmware file is not signed!&#13;&#10;Closing tool</source>
        <translation>FEHLER: Firmware-Datei ist nicht signiert!&#13;&#10;App schließen</translation>
    </message>
    <message id="StrRes_FhxUnsupportedProduct">
        <source>ERROR: Selected product is not supported!&#13;&#10;Closing tool</source>
        <translation>FEHLER: Ausgewähltes Produkt wird nicht unterstützt!&#13;&#10;App schließen</translation>
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
        <translation>Anweisungen zum Aktualisieren der Drucker-Firmware</translation>
    </message>
    <message id="StrRes_Instructions">
        <source>1. Power ON printer&#13;&#10;2. Wait until printer is IDLE/Ready&#13;&#10;3. Connect to printer via USB&#13;&#10;4. Wait for printer detection&#13;&#10;5. Select printer from list&#13;&#10;6. Press "START" button to start updating printer firmware</source>
        <translation>1. Schalten Sie den Drucker ein&#13;&#10;2. Warten Sie, bis der Drucker IDLE/Bereit ist&#13;&#10;3. Verbinden Sie sich über USB mit dem Drucker&#13;&#10;4. Warten Sie auf die Druckererkennung&#13;&#10;5. Drucker aus der Liste auswählen&#13;&#10;6. Drücken Sie die „ANFANG“-Taste, um mit der Aktualisierung der Drucker-Firmware zu beginnen</translation>
    </message>
    <message id="StrRes_PrinterAccessDenied">
        <source>USB printers found that this user account may not open, and that are therefore not listed: %1&#13;&#10;To allow it: add the account to group lp (sudo adduser %2 lp) and log in again, or install the vornikfdu package, whose udev rule gives the person at this computer access.</source>
        <translation>Gefundene USB-Drucker, die dieses Benutzerkonto nicht öffnen darf und die daher nicht aufgelistet sind: %1&#13;&#10;Abhilfe: Nehmen Sie das Konto in die Gruppe lp auf (sudo adduser %2 lp) und melden Sie sich neu an, oder installieren Sie das Paket vornikfdu, dessen udev-Regel der Person an diesem Computer Zugriff gibt.</translation>
    </message>
    <message id="StrRes_PrintersTaken">
        <source>USB printers found that another program has taken from the printer driver, and that are therefore not listed: %1&#13;&#10;To update them: let that program finish or close it (a print job, or a search for printers in the printer settings), then unplug each of these printers and plug it in again.</source>
        <translation>Gefundene USB-Drucker, die ein anderes Programm dem Druckertreiber entzogen hat und die daher nicht aufgelistet sind: %1&#13;&#10;Um sie zu aktualisieren: Lassen Sie dieses Programm zu Ende kommen oder beenden Sie es (ein Druckauftrag oder eine Druckersuche in den Druckereinstellungen), ziehen Sie dann jeden dieser Drucker ab und stecken Sie ihn wieder ein.</translation>
    </message>
    <message id="StrRes_PrintersTakenByIppUsb">
        <source>USB printers found that ipp-usb, the service for driverless printing over USB, has taken from the printer driver, and that are therefore not listed: %1&#13;&#10;To update them: install the vornikfdu package, which keeps ipp-usb away from these printers, or stop ipp-usb for the update (sudo systemctl mask --runtime --now ipp-usb; undone with sudo systemctl unmask --runtime ipp-usb, or by restarting the computer), then unplug each of these printers and plug it in again.</source>
        <translation>Gefundene USB-Drucker, die ipp-usb, der Dienst für treiberloses Drucken über USB, dem Druckertreiber entzogen hat und die daher nicht aufgelistet sind: %1&#13;&#10;Um sie zu aktualisieren: Installieren Sie das Paket vornikfdu, das ipp-usb von diesen Druckern fernhält, oder halten Sie ipp-usb für die Aktualisierung an (sudo systemctl mask --runtime --now ipp-usb; rückgängig mit sudo systemctl unmask --runtime ipp-usb oder durch einen Neustart des Computers), ziehen Sie dann jeden dieser Drucker ab und stecken Sie ihn wieder ein.</translation>
    </message>
    <message id="StrRes_PrinterSerialNum">
        <source>Serial #</source>
        <translation>Seriennummer</translation>
    </message>
    <message id="StrRes_ProgressUpdateSteps">
        <source>Processing step: </source>
        <translation>Bearbeitungsschritt: </translation>
    </message>
    <message id="StrRes_RunHoldReason">
        <source>Printer firmware is being updated</source>
        <translation>Die Drucker-Firmware wird aktualisiert</translation>
    </message>
    <message id="StrRes_SelectPrinter">
        <source>Please select atleast one printer</source>
        <translation>Bitte wählen Sie mindestens einen Drucker aus</translation>
    </message>
    <message id="StrRes_SomeUpdated">
        <source>ERROR:Failed to update some printers!&#13;&#10;Please check status for each printer.&#13;&#10;Updated printers would be OFF.</source>
        <translation>FEHLER: Einige Drucker konnten nicht aktualisiert werden!&#13;&#10;Bitte überprüfen Sie den Status für jeden Drucker.&#13;&#10;Aktualisierte Drucker wären AUS.</translation>
    </message>
    <message id="StrRes_Start">
        <source>START</source>
        <translation>Anfang</translation>
    </message>
    <message id="StrRes_Status">
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message id="StrRes_StatusFlashModeFail">
        <source>ERROR: Failed to set flash mode</source>
        <translation>FEHLER: Update-Modus konnte nicht eingestellt werden</translation>
    </message>
    <message id="StrRes_StatusFlashingTimeout">
        <source>Error: Flashing timeout!</source>
        <translation>Fehler: Zeitüberschreitung im Flash-Modus!</translation>
    </message>
    <message id="StrRes_StatusInFlashMode">
        <source>Flash mode</source>
        <translation>im Update-Modus</translation>
    </message>
    <message id="StrRes_StatusInIdleMode">
        <source>Idle mode</source>
        <translation>Bereit</translation>
    </message>
    <message id="StrRes_StatusPrinterNotConnected">
        <source>Error: Printer not connected!</source>
        <translation>Fehler: Drucker nicht verbunden!</translation>
    </message>
    <message id="StrRes_StatusPrinterNotFound">
        <source>Error: Printer not found!</source>
        <translation>Fehler: Drucker nicht gefunden!</translation>
    </message>
    <message id="StrRes_StatusSendingFhx">
        <source>Sending firmware file ...</source>
        <translation>Firmware-Datei wird gesendet ...</translation>
    </message>
    <message id="StrRes_StatusSettingFlashMode">
        <source>Setting to flash mode ...</source>
        <translation>In den Update-Modus versetzen...</translation>
    </message>
    <message id="StrRes_StatusStoringAndUpdating">
        <source>Storing and updating firmware ...</source>
        <translation>Firmware speichern und aktualisieren ...</translation>
    </message>
    <message id="StrRes_StatusUpdateCompleted">
        <source>Firmware update: completed</source>
        <translation>Firmware-Update: abgeschlossen</translation>
    </message>
    <message id="StrRes_StatusUpdateTimeout">
        <source>Firmware update: timeout!</source>
        <translation>Firmware-Update: Zeitüberschreitung!</translation>
    </message>
    <message id="StrRes_SupportedPrinterList">
        <source>Printer list</source>
        <translation>Druckerliste</translation>
    </message>
    <message id="StrRes_UIMsgResult">
        <source>printers updated</source>
        <translation>Drucker aktualisiert</translation>
    </message>
    <message id="StrRes_CopyReport">
        <source>Copy report</source>
        <translation>Bericht kopieren</translation>
    </message>
    <message id="StrRes_ReturnFirmware">
        <source>back on the bus after %1; reports firmware %2</source>
        <translation>nach %1 wieder am Bus; meldet Firmware %2</translation>
    </message>
    <message id="StrRes_ReturnNewFirmware">
        <source>back on the bus after %1; reports firmware %2, which contains build number %3</source>
        <translation>nach %1 wieder am Bus; meldet Firmware %2, die die Build-Nummer %3 enthält</translation>
    </message>
    <message id="StrRes_ReturnOtherFirmware">
        <source>back on the bus after %1; reports firmware %2, which does not contain build number %3</source>
        <translation>nach %1 wieder am Bus; meldet Firmware %2, die die Build-Nummer %3 nicht enthält</translation>
    </message>
    <message id="StrRes_ReturnBusy">
        <source>back on the bus after %1; is not asked for its firmware revision while its status is %2</source>
        <translation>nach %1 wieder am Bus; wird nicht nach der Firmware-Version gefragt, solange der Status %2 ist</translation>
    </message>
    <message id="StrRes_ReturnNoRevision">
        <source>back on the bus after %1; reports no firmware revision</source>
        <translation>nach %1 wieder am Bus; meldet keine Firmware-Version</translation>
    </message>
    <message id="StrRes_ReturnNotBackYet">
        <source>not back yet</source>
        <translation>noch nicht zurück</translation>
    </message>
    <message id="StrRes_ReturnSharedSerial">
        <source>not looked for after the run: another printer of this run has the same serial number</source>
        <translation>nach dem Update nicht gesucht: ein anderer Drucker dieses Updates hat dieselbe Seriennummer</translation>
    </message>
    <message id="StrRes_ReturnNoSerial">
        <source>not looked for after the run: the printer reports no serial number</source>
        <translation>nach dem Update nicht gesucht: der Drucker meldet keine Seriennummer</translation>
    </message>
    <message id="StrRes_RunHoldNotBlocked">
        <source>Not blocked: %1</source>
        <translation>Nicht blockiert: %1</translation>
    </message>
    <message id="StrRes_RunHoldSleep">
        <source>sleep</source>
        <translation>Ruhezustand</translation>
    </message>
    <message id="StrRes_RunHoldShutdown">
        <source>shutdown</source>
        <translation>Herunterfahren</translation>
    </message>
    <message id="StrRes_RunHoldLogOff">
        <source>log-off</source>
        <translation>Abmelden</translation>
    </message>
    <message id="StrRes_AccLanguageButton">
        <source>Language: English. Next: German</source>
        <translation>Sprache: Deutsch. Nächste: Spanisch</translation>
    </message>
    <message id="StrRes_AccMinimize">
        <source>Minimise</source>
        <translation>Minimieren</translation>
    </message>
    <message id="StrRes_AccCloseWindow">
        <source>Close the window</source>
        <translation>Fenster schließen</translation>
    </message>
    <message id="StrRes_AccLogo">
        <source>%1 logo</source>
        <translation>%1-Logo</translation>
    </message>
    <message id="StrRes_AccWarning">
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message id="StrRes_AccBusySign">
        <source>Activity indicator</source>
        <translation>Aktivitätsanzeige</translation>
    </message>
</context>
</TS>
