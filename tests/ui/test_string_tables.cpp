// The four string tables as the program carries them: every text of every language, byte for
// byte. The expected texts are written out here on purpose, with explicit CR LF pairs and
// no-break spaces, so that anything the build does to the tables on their way into the program
// (a dropped id, a CR read back as LF, a no-break space turned into a blank) fails here.
#include "ui/string_table.h"

#include <QTest>

#include <stdexcept>

namespace {

struct ExpectedText {
    const char *language;
    const char *key;
    const char16_t *text;
};

// clang-format off
const ExpectedText kExpected[] = {
    { "EN", "StrRes_AllUpdated", u"All selected printers have been updated.Updated printers would be OFF." },
    { "EN", "StrRes_Close", u"CLOSE" },
    { "EN", "StrRes_ConnectPrinter", u"Please connect atleast one printer" },
    { "EN", "StrRes_ConnectionWarning", u"Do not disconnect printer while updating!" },
    { "EN", "StrRes_Copyright_Zeltan", u"© 2026 ZELTAN Corporation. All rights reserved." },
    { "EN", "StrRes_Copyright_Morval", u"© 2026 MORVAL Imaging Ltd. All rights reserved." },
    { "EN", "StrRes_Copyright_Quadrix", u"© 2026 Quadrix Systems Inc. All rights reserved." },
    { "EN", "StrRes_Copyright_JOX", u"© 2026 JOX Printing Co. All rights reserved." },
    { "EN", "StrRes_Copyright_TAZ", u"© 2026 TAZ Technologies. All rights reserved." },
    { "EN", "StrRes_FhxFileError", u"ERROR: Firmware file!\r\nClosing tool" },
    { "EN", "StrRes_FhxFileMissing", u"ERROR: Firmware file or product name missing!\r\nClosing tool" },
    { "EN", "StrRes_FhxInvalidExtension", u"ERROR: Firmware file is invlaid!\r\nClosing tool" },
    { "EN", "StrRes_FhxMismatch", u"ERROR: Firmware file mismatch!\r\nClosing tool" },
    { "EN", "StrRes_FhxUnsigned", u"ERROR: Firmware file is not signed!\r\nClosing tool" },
    { "EN", "StrRes_FhxUnsupportedProduct", u"ERROR: Selected product is not supported!\r\nClosing tool" },
    { "EN", "StrRes_FiirmwareNotFound", u"Build Error: Could not find firmware resource file!" },
    { "EN", "StrRes_FirmwareLoadFail", u"Error: Could not load firmware resource file!" },
    { "EN", "StrRes_FirmwareZeroBytes", u"Error: Firmware resource file size is 0 bytes!" },
    { "EN", "StrRes_InstructionCaption", u"Printer firmware update instructions" },
    { "EN", "StrRes_Instructions", u"1. Power ON printer\r\n2. Wait until printer is IDLE/Ready\r\n3. Connect to printer via USB\r\n4. Wait for printer detection\r\n5. Select printer from list\r\n6. Press \"START\" button to start updating printer firmware" },
    { "EN", "StrRes_PrinterAccessDenied", u"USB printers found that this user account may not open, and that are therefore not listed: %1\r\nTo allow it: add the account to group lp (sudo adduser %2 lp) and log in again, or install the vornikfdu package, whose udev rule gives the person at this computer access." },
    { "EN", "StrRes_PrintersTaken", u"USB printers found that another program has taken from the printer driver, and that are therefore not listed: %1\r\nTo update them: let that program finish or close it (a print job, or a search for printers in the printer settings), then unplug each of these printers and plug it in again." },
    { "EN", "StrRes_PrintersTakenByIppUsb", u"USB printers found that ipp-usb, the service for driverless printing over USB, has taken from the printer driver, and that are therefore not listed: %1\r\nTo update them: install the vornikfdu package, which keeps ipp-usb away from these printers, or stop ipp-usb for the update (sudo systemctl mask --runtime --now ipp-usb; undone with sudo systemctl unmask --runtime ipp-usb, or by restarting the computer), then unplug each of these printers and plug it in again." },
    { "EN", "StrRes_PrinterSerialNum", u"Serial #" },
    { "EN", "StrRes_ProgressUpdateSteps", u"Processing step: " },
    { "EN", "StrRes_RunHoldReason", u"Printer firmware is being updated" },
    { "EN", "StrRes_SelectPrinter", u"Please select atleast one printer" },
    { "EN", "StrRes_SomeUpdated", u"ERROR:Failed to update some printers!\r\nPlease check status for each printer.\r\nUpdated printers would be OFF." },
    { "EN", "StrRes_Start", u"START" },
    { "EN", "StrRes_Status", u"Status" },
    { "EN", "StrRes_StatusFlashModeFail", u"ERROR: Failed to set flash mode" },
    { "EN", "StrRes_StatusFlashingTimeout", u"Error: Flashing timeout!" },
    { "EN", "StrRes_StatusInFlashMode", u"Flash mode" },
    { "EN", "StrRes_StatusInIdleMode", u"Idle mode" },
    { "EN", "StrRes_StatusPrinterNotConnected", u"Error: Printer not connected!" },
    { "EN", "StrRes_StatusPrinterNotFound", u"Error: Printer not found!" },
    { "EN", "StrRes_StatusSendingFhx", u"Sending firmware file ..." },
    { "EN", "StrRes_StatusSettingFlashMode", u"Setting to flash mode ..." },
    { "EN", "StrRes_StatusStoringAndUpdating", u"Storing and updating firmware ..." },
    { "EN", "StrRes_StatusUpdateCompleted", u"Firmware update: completed" },
    { "EN", "StrRes_StatusUpdateTimeout", u"Firmware update: timeout!" },
    { "EN", "StrRes_SupportedPrinterList", u"Printer list" },
    { "EN", "StrRes_UIMsgResult", u"printers updated" },
    { "EN", "StrRes_CopyReport", u"Copy report" },
    { "EN", "StrRes_ReturnFirmware", u"back on the bus after %1; reports firmware %2" },
    { "EN", "StrRes_ReturnNewFirmware", u"back on the bus after %1; reports firmware %2, which contains build number %3" },
    { "EN", "StrRes_ReturnOtherFirmware", u"back on the bus after %1; reports firmware %2, which does not contain build number %3" },
    { "EN", "StrRes_ReturnBusy", u"back on the bus after %1; is not asked for its firmware revision while its status is %2" },
    { "EN", "StrRes_ReturnNoRevision", u"back on the bus after %1; reports no firmware revision" },
    { "EN", "StrRes_ReturnNotBackYet", u"not back yet" },
    { "EN", "StrRes_ReturnSharedSerial", u"not looked for after the run: another printer of this run has the same serial number" },
    { "EN", "StrRes_ReturnNoSerial", u"not looked for after the run: the printer reports no serial number" },
    { "EN", "StrRes_AccLanguageButton", u"Language: English. Next: German" },
    { "EN", "StrRes_AccMinimize", u"Minimise" },
    { "EN", "StrRes_AccCloseWindow", u"Close the window" },
    { "EN", "StrRes_AccLogo", u"%1 logo" },
    { "EN", "StrRes_AccWarning", u"Warning" },
    { "EN", "StrRes_AccBusySign", u"Activity indicator" },
    { "DE", "StrRes_AllUpdated", u"Alle ausgewählten Drucker wurden aktualisiert.\r\nAktualisierte Drucker wären AUS." },
    { "DE", "StrRes_Close", u"Schließen" },
    { "DE", "StrRes_ConnectPrinter", u"Bitte schließen Sie mindestens einen Drucker an" },
    { "DE", "StrRes_ConnectionWarning", u"Trennen Sie den Drucker während des Updates nicht!" },
    { "DE", "StrRes_Copyright_Zeltan", u"© 2026 ZELTAN Corporation. Alle Rechte vorbehalten." },
    { "DE", "StrRes_Copyright_Morval", u"© 2026 MORVAL Imaging Ltd. Alle Rechte vorbehalten." },
    { "DE", "StrRes_Copyright_Quadrix", u"© 2026 Quadrix Systems Inc. Alle Rechte vorbehalten." },
    { "DE", "StrRes_Copyright_JOX", u"© 2026 JOX Printing Co. Alle Rechte vorbehalten." },
    { "DE", "StrRes_Copyright_TAZ", u"© 2026 TAZ Technologies. Alle Rechte vorbehalten." },
    { "DE", "StrRes_FhxFileError", u"FEHLER: Firmware-Datei!\r\nApp schließen" },
    { "DE", "StrRes_FhxFileMissing", u"FEHLER: Firmware-Datei oder Produktname fehlt!\r\nApp schließen" },
    { "DE", "StrRes_FhxInvalidExtension", u"FEHLER: Firmware-Datei ist ungültig!\r\nApp schließen" },
    { "DE", "StrRes_FhxMismatch", u"FEHLER: Nichtübereinstimmung der Firmware-Datei!\r\nApp schließen" },
    { "DE", "StrRes_FhxUnsigned", u"FEHLER: Firmware-Datei ist nicht signiert!\r\nApp schließen" },
    { "DE", "StrRes_FhxUnsupportedProduct", u"FEHLER: Ausgewähltes Produkt wird nicht unterstützt!\r\nApp schließen" },
    { "DE", "StrRes_FiirmwareNotFound", u"Build Error: Could not find firmware resource file!" },
    { "DE", "StrRes_FirmwareLoadFail", u"Error: Could not load firmware resource file!" },
    { "DE", "StrRes_FirmwareZeroBytes", u"Error: Firmware resource file size is 0 bytes!" },
    { "DE", "StrRes_InstructionCaption", u"Anweisungen zum Aktualisieren der Drucker-Firmware" },
    { "DE", "StrRes_Instructions", u"1. Schalten Sie den Drucker ein\r\n2. Warten Sie, bis der Drucker IDLE/Bereit ist\r\n3. Verbinden Sie sich über USB mit dem Drucker\r\n4. Warten Sie auf die Druckererkennung\r\n5. Drucker aus der Liste auswählen\r\n6. Drücken Sie die „ANFANG“-Taste, um mit der Aktualisierung der Drucker-Firmware zu beginnen" },
    { "DE", "StrRes_PrinterAccessDenied", u"Gefundene USB-Drucker, die dieses Benutzerkonto nicht öffnen darf und die daher nicht aufgelistet sind: %1\r\nAbhilfe: Nehmen Sie das Konto in die Gruppe lp auf (sudo adduser %2 lp) und melden Sie sich neu an, oder installieren Sie das Paket vornikfdu, dessen udev-Regel der Person an diesem Computer Zugriff gibt." },
    { "DE", "StrRes_PrintersTaken", u"Gefundene USB-Drucker, die ein anderes Programm dem Druckertreiber entzogen hat und die daher nicht aufgelistet sind: %1\r\nUm sie zu aktualisieren: Lassen Sie dieses Programm zu Ende kommen oder beenden Sie es (ein Druckauftrag oder eine Druckersuche in den Druckereinstellungen), ziehen Sie dann jeden dieser Drucker ab und stecken Sie ihn wieder ein." },
    { "DE", "StrRes_PrintersTakenByIppUsb", u"Gefundene USB-Drucker, die ipp-usb, der Dienst für treiberloses Drucken über USB, dem Druckertreiber entzogen hat und die daher nicht aufgelistet sind: %1\r\nUm sie zu aktualisieren: Installieren Sie das Paket vornikfdu, das ipp-usb von diesen Druckern fernhält, oder halten Sie ipp-usb für die Aktualisierung an (sudo systemctl mask --runtime --now ipp-usb; rückgängig mit sudo systemctl unmask --runtime ipp-usb oder durch einen Neustart des Computers), ziehen Sie dann jeden dieser Drucker ab und stecken Sie ihn wieder ein." },
    { "DE", "StrRes_PrinterSerialNum", u"Seriennummer" },
    { "DE", "StrRes_ProgressUpdateSteps", u"Bearbeitungsschritt: " },
    { "DE", "StrRes_RunHoldReason", u"Die Drucker-Firmware wird aktualisiert" },
    { "DE", "StrRes_SelectPrinter", u"Bitte wählen Sie mindestens einen Drucker aus" },
    { "DE", "StrRes_SomeUpdated", u"FEHLER: Einige Drucker konnten nicht aktualisiert werden!\r\nBitte überprüfen Sie den Status für jeden Drucker.\r\nAktualisierte Drucker wären AUS." },
    { "DE", "StrRes_Start", u"Anfang" },
    { "DE", "StrRes_Status", u"Status" },
    { "DE", "StrRes_StatusFlashModeFail", u"FEHLER: Update-Modus konnte nicht eingestellt werden" },
    { "DE", "StrRes_StatusFlashingTimeout", u"Fehler: Zeitüberschreitung im Flash-Modus!" },
    { "DE", "StrRes_StatusInFlashMode", u"im Update-Modus" },
    { "DE", "StrRes_StatusInIdleMode", u"Bereit" },
    { "DE", "StrRes_StatusPrinterNotConnected", u"Fehler: Drucker nicht verbunden!" },
    { "DE", "StrRes_StatusPrinterNotFound", u"Fehler: Drucker nicht gefunden!" },
    { "DE", "StrRes_StatusSendingFhx", u"Firmware-Datei wird gesendet ..." },
    { "DE", "StrRes_StatusSettingFlashMode", u"In den Update-Modus versetzen..." },
    { "DE", "StrRes_StatusStoringAndUpdating", u"Firmware speichern und aktualisieren ..." },
    { "DE", "StrRes_StatusUpdateCompleted", u"Firmware-Update: abgeschlossen" },
    { "DE", "StrRes_StatusUpdateTimeout", u"Firmware-Update: Zeitüberschreitung!" },
    { "DE", "StrRes_SupportedPrinterList", u"Druckerliste" },
    { "DE", "StrRes_UIMsgResult", u"Drucker aktualisiert" },
    { "DE", "StrRes_CopyReport", u"Bericht kopieren" },
    { "DE", "StrRes_ReturnFirmware", u"nach %1 wieder am Bus; meldet Firmware %2" },
    { "DE", "StrRes_ReturnNewFirmware", u"nach %1 wieder am Bus; meldet Firmware %2, die die Build-Nummer %3 enthält" },
    { "DE", "StrRes_ReturnOtherFirmware", u"nach %1 wieder am Bus; meldet Firmware %2, die die Build-Nummer %3 nicht enthält" },
    { "DE", "StrRes_ReturnBusy", u"nach %1 wieder am Bus; wird nicht nach der Firmware-Version gefragt, solange der Status %2 ist" },
    { "DE", "StrRes_ReturnNoRevision", u"nach %1 wieder am Bus; meldet keine Firmware-Version" },
    { "DE", "StrRes_ReturnNotBackYet", u"noch nicht zurück" },
    { "DE", "StrRes_ReturnSharedSerial", u"nach dem Update nicht gesucht: ein anderer Drucker dieses Updates hat dieselbe Seriennummer" },
    { "DE", "StrRes_ReturnNoSerial", u"nach dem Update nicht gesucht: der Drucker meldet keine Seriennummer" },
    { "DE", "StrRes_AccLanguageButton", u"Sprache: Deutsch. Nächste: Spanisch" },
    { "DE", "StrRes_AccMinimize", u"Minimieren" },
    { "DE", "StrRes_AccCloseWindow", u"Fenster schließen" },
    { "DE", "StrRes_AccLogo", u"%1-Logo" },
    { "DE", "StrRes_AccWarning", u"Warnung" },
    { "DE", "StrRes_AccBusySign", u"Aktivitätsanzeige" },
    { "ES", "StrRes_AllUpdated", u"Todas las impresoras seleccionadas se han actualizado.\r\nLas impresoras actualizadas estarían apagadas." },
    { "ES", "StrRes_Close", u"Cerrar" },
    { "ES", "StrRes_ConnectPrinter", u"Conecta al menos una impresora" },
    { "ES", "StrRes_ConnectionWarning", u"¡No desconecte la impresora mientras se actualiza!" },
    { "ES", "StrRes_Copyright_Zeltan", u"© 2026 ZELTAN Corporation. Todos los derechos reservados." },
    { "ES", "StrRes_Copyright_Morval", u"© 2026 MORVAL Imaging Ltd. Todos los derechos reservados." },
    { "ES", "StrRes_Copyright_Quadrix", u"© 2026 Quadrix Systems Inc. Todos los derechos reservados." },
    { "ES", "StrRes_Copyright_JOX", u"© 2026 JOX Printing Co. Todos los derechos reservados." },
    { "ES", "StrRes_Copyright_TAZ", u"© 2026 TAZ Technologies. Todos los derechos reservados." },
    { "ES", "StrRes_FhxFileError", u"ERROR: ¡Archivo de firmware!\r\naplicación de cierre" },
    { "ES", "StrRes_FhxFileMissing", u"ERROR: ¡Falta el archivo de firmware o el nombre del producto!\r\naplicación de cierre" },
    { "ES", "StrRes_FhxInvalidExtension", u"ERROR: ¡El archivo de firmware no es válido!\r\nAplicación de cierre" },
    { "ES", "StrRes_FhxMismatch", u"ERROR: ¡No coincide el archivo de firmware!\r\nAplicación de cierre" },
    { "ES", "StrRes_FhxUnsigned", u"ERROR: ¡El archivo de firmware no está firmado!\r\naplicación de cierre" },
    { "ES", "StrRes_FhxUnsupportedProduct", u"ERROR: ¡El producto seleccionado no es compatible!\r\naplicación de cierre" },
    { "ES", "StrRes_FiirmwareNotFound", u"Build Error: Could not find firmware resource file!" },
    { "ES", "StrRes_FirmwareLoadFail", u"Error: Could not load firmware resource file!" },
    { "ES", "StrRes_FirmwareZeroBytes", u"Error: Firmware resource file size is 0 bytes!" },
    { "ES", "StrRes_InstructionCaption", u"Instrucciones de actualización del firmware de la impresora" },
    { "ES", "StrRes_Instructions", u"1. Encienda la impresora\r\n2. Espere hasta que la impresora esté INACTIVA/Lista\r\n3. Conéctese a la impresora a través de USB\r\n4. Espere a que se detecte la impresora\r\n5. Seleccione la impresora de la lista\r\n6. Presione el botón \"Comienzo\" para comenzar a actualizar el firmware de la impresora" },
    { "ES", "StrRes_PrinterAccessDenied", u"Impresoras USB encontradas que esta cuenta de usuario no puede abrir y que, por tanto, no aparecen en la lista: %1\r\nPara permitirlo: añada la cuenta al grupo lp (sudo adduser %2 lp) y vuelva a iniciar sesión, o instale el paquete vornikfdu, cuya regla de udev da acceso a la persona que está en este equipo." },
    { "ES", "StrRes_PrintersTaken", u"Impresoras USB encontradas que otro programa ha quitado al controlador de impresora y que, por tanto, no aparecen en la lista: %1\r\nPara actualizarlas: deje que ese programa termine o ciérrelo (un trabajo de impresión, o una búsqueda de impresoras en la configuración de impresoras) y, a continuación, desconecte cada una de estas impresoras y vuelva a conectarla." },
    { "ES", "StrRes_PrintersTakenByIppUsb", u"Impresoras USB encontradas que ipp-usb, el servicio de impresión sin controlador por USB, ha quitado al controlador de impresora y que, por tanto, no aparecen en la lista: %1\r\nPara actualizarlas: instale el paquete vornikfdu, que mantiene ipp-usb alejado de estas impresoras, o detenga ipp-usb durante la actualización (sudo systemctl mask --runtime --now ipp-usb; se deshace con sudo systemctl unmask --runtime ipp-usb o reiniciando el equipo) y, a continuación, desconecte cada una de estas impresoras y vuelva a conectarla." },
    { "ES", "StrRes_PrinterSerialNum", u"Número de serie" },
    { "ES", "StrRes_ProgressUpdateSteps", u"Paso de procesamiento: " },
    { "ES", "StrRes_RunHoldReason", u"Se está actualizando el firmware de las impresoras" },
    { "ES", "StrRes_SelectPrinter", u"Seleccione al menos una impresora" },
    { "ES", "StrRes_SomeUpdated", u"¡Solo se actualizaron algunas impresoras!\r\nVerifique el estado de cada impresora\r\nLas impresoras actualizadas estarían apagadas\r\nERROR:Error al actualizar algunas impresoras" },
    { "ES", "StrRes_Start", u"Comienzo" },
    { "ES", "StrRes_Status", u"Estado" },
    { "ES", "StrRes_StatusFlashModeFail", u"ERROR: fallo del modo flash" },
    { "ES", "StrRes_StatusFlashingTimeout", u"Error: ¡Tiempo de espera agotado del modo flash!" },
    { "ES", "StrRes_StatusInFlashMode", u"en modo de actualización" },
    { "ES", "StrRes_StatusInIdleMode", u"Lista" },
    { "ES", "StrRes_StatusPrinterNotConnected", u"Error: ¡Impresora no conectada!" },
    { "ES", "StrRes_StatusPrinterNotFound", u"Error: ¡Impresora no encontrada!" },
    { "ES", "StrRes_StatusSendingFhx", u"Enviando archivo de firmware..." },
    { "ES", "StrRes_StatusSettingFlashMode", u"Poniendo en modo flash..." },
    { "ES", "StrRes_StatusStoringAndUpdating", u"Almacenamiento y actualización de firmware..." },
    { "ES", "StrRes_StatusUpdateCompleted", u"Actualización de firmware: completada" },
    { "ES", "StrRes_StatusUpdateTimeout", u"Actualización de firmware: tiempo de espera!" },
    { "ES", "StrRes_SupportedPrinterList", u"Lista de impresoras" },
    { "ES", "StrRes_UIMsgResult", u"impresoras actualizadas" },
    { "ES", "StrRes_CopyReport", u"Copiar informe" },
    { "ES", "StrRes_ReturnFirmware", u"de vuelta en el bus tras %1; indica el firmware %2" },
    { "ES", "StrRes_ReturnNewFirmware", u"de vuelta en el bus tras %1; indica el firmware %2, que contiene el número de compilación %3" },
    { "ES", "StrRes_ReturnOtherFirmware", u"de vuelta en el bus tras %1; indica el firmware %2, que no contiene el número de compilación %3" },
    { "ES", "StrRes_ReturnBusy", u"de vuelta en el bus tras %1; no se le pide la revisión de firmware mientras su estado sea %2" },
    { "ES", "StrRes_ReturnNoRevision", u"de vuelta en el bus tras %1; no indica ninguna revisión de firmware" },
    { "ES", "StrRes_ReturnNotBackYet", u"todavía no ha vuelto" },
    { "ES", "StrRes_ReturnSharedSerial", u"no se busca después de la actualización: otra impresora de esta actualización tiene el mismo número de serie" },
    { "ES", "StrRes_ReturnNoSerial", u"no se busca después de la actualización: la impresora no indica ningún número de serie" },
    { "ES", "StrRes_AccLanguageButton", u"Idioma: español. Siguiente: francés" },
    { "ES", "StrRes_AccMinimize", u"Minimizar" },
    { "ES", "StrRes_AccCloseWindow", u"Cerrar la ventana" },
    { "ES", "StrRes_AccLogo", u"Logotipo de %1" },
    { "ES", "StrRes_AccWarning", u"Advertencia" },
    { "ES", "StrRes_AccBusySign", u"Indicador de actividad" },
    { "FR", "StrRes_AllUpdated", u"Toutes les imprimantes sélectionnées ont été mises à jour.\r\nLes imprimantes mises à jour seraient éteintes." },
    { "FR", "StrRes_Close", u"Fermer" },
    { "FR", "StrRes_ConnectPrinter", u"Veuillez connecter au moins une imprimante" },
    { "FR", "StrRes_ConnectionWarning", u"Ne déconnectez pas l'imprimante pendant la mise à jour\u00a0!" },
    { "FR", "StrRes_Copyright_Zeltan", u"© 2026 ZELTAN Corporation. Tous droits réservés." },
    { "FR", "StrRes_Copyright_Morval", u"© 2026 MORVAL Imaging Ltd. Tous droits réservés." },
    { "FR", "StrRes_Copyright_Quadrix", u"© 2026 Quadrix Systems Inc. Tous droits réservés." },
    { "FR", "StrRes_Copyright_JOX", u"© 2026 JOX Printing Co. Tous droits réservés." },
    { "FR", "StrRes_Copyright_TAZ", u"© 2026 TAZ Technologies. Tous droits réservés." },
    { "FR", "StrRes_FhxFileError", u"ERREUR\u00a0: Fichier du micrologiciel\u00a0!\r\nFermeture de l'application" },
    { "FR", "StrRes_FhxFileMissing", u"ERREUR\u00a0: fichier de micrologiciel ou nom de produit manquant\u00a0!\r\nFermeture de l'application" },
    { "FR", "StrRes_FhxInvalidExtension", u"ERREUR\u00a0: Le fichier du micrologiciel n'est pas valide!\r\nFermeture de l'application" },
    { "FR", "StrRes_FhxMismatch", u"ERREUR\u00a0: Non-concordance du fichier du micrologiciel\u00a0!\r\nFermeture de l'application" },
    { "FR", "StrRes_FhxUnsigned", u"ERREUR\u00a0: Le fichier du micrologiciel n'est pas signé\u00a0!\r\nFermeture de l'application" },
    { "FR", "StrRes_FhxUnsupportedProduct", u"ERREUR\u00a0: Le produit sélectionné n'est pas pris en charge\u00a0!\r\nFermeture de l'application" },
    { "FR", "StrRes_FiirmwareNotFound", u"Build Error: Could not find firmware resource file!" },
    { "FR", "StrRes_FirmwareLoadFail", u"Error: Could not load firmware resource file!" },
    { "FR", "StrRes_FirmwareZeroBytes", u"Error: Firmware resource file size is 0 bytes!" },
    { "FR", "StrRes_InstructionCaption", u"Instructions de mise à jour du micrologiciel de l'imprimante" },
    { "FR", "StrRes_Instructions", u"1. Mettez l'imprimante sous tension\r\n2. Attendez que l'imprimante soit IDLE/Ready\r\n3. Connectez-vous à l'imprimante via USB\r\n4. Attendez la détection de l'imprimante\r\n5. Sélectionnez l'imprimante dans la liste\r\n6. Appuyez sur le bouton \"Démarrer\" pour lancer la mise à jour du firmware de l'imprimante" },
    { "FR", "StrRes_PrinterAccessDenied", u"Imprimantes USB trouvées que ce compte utilisateur ne peut pas ouvrir et qui ne sont donc pas listées\u00a0: %1\r\nPour l'autoriser\u00a0: ajoutez le compte au groupe lp (sudo adduser %2 lp) puis reconnectez-vous, ou installez le paquet vornikfdu, dont la règle udev donne l'accès à la personne devant cet ordinateur." },
    { "FR", "StrRes_PrintersTaken", u"Imprimantes USB trouvées qu'un autre programme a retirées au pilote d'imprimante et qui ne sont donc pas listées\u00a0: %1\r\nPour les mettre à jour\u00a0: laissez ce programme terminer ou fermez-le (une impression, ou une recherche d'imprimantes dans les paramètres d'impression), puis débranchez chacune de ces imprimantes et rebranchez-la." },
    { "FR", "StrRes_PrintersTakenByIppUsb", u"Imprimantes USB trouvées qu'ipp-usb, le service d'impression sans pilote par USB, a retirées au pilote d'imprimante et qui ne sont donc pas listées\u00a0: %1\r\nPour les mettre à jour\u00a0: installez le paquet vornikfdu, qui tient ipp-usb à l'écart de ces imprimantes, ou arrêtez ipp-usb pour la mise à jour (sudo systemctl mask --runtime --now ipp-usb\u00a0; annulé par sudo systemctl unmask --runtime ipp-usb ou par un redémarrage de l'ordinateur), puis débranchez chacune de ces imprimantes et rebranchez-la." },
    { "FR", "StrRes_PrinterSerialNum", u"Numéro de série" },
    { "FR", "StrRes_ProgressUpdateSteps", u"Étape de traitement: " },
    { "FR", "StrRes_RunHoldReason", u"Mise à jour du firmware des imprimantes en cours" },
    { "FR", "StrRes_SelectPrinter", u"Veuillez sélectionner au moins une imprimante" },
    { "FR", "StrRes_SomeUpdated", u"Mise à jour de certaines imprimantes uniquement\u00a0!\r\nVeuillez vérifier l'état de chaque imprimante\r\nLes imprimantes mises à jour seraient éteintes\r\nERREUR\u00a0: Échec de la mise à jour de certaines imprimantes" },
    { "FR", "StrRes_Start", u"Démarrer" },
    { "FR", "StrRes_Status", u"Statut" },
    { "FR", "StrRes_StatusFlashModeFail", u"ERREUR\u00a0: Échec de la définition du mode flash" },
    { "FR", "StrRes_StatusFlashingTimeout", u"Erreur\u00a0: Délai d'expiration du mode Flash\u00a0!" },
    { "FR", "StrRes_StatusInFlashMode", u"en mode mise à jour" },
    { "FR", "StrRes_StatusInIdleMode", u"Prêt" },
    { "FR", "StrRes_StatusPrinterNotConnected", u"Erreur\u00a0: Imprimante non connectée\u00a0!" },
    { "FR", "StrRes_StatusPrinterNotFound", u"Erreur\u00a0: Imprimante introuvable\u00a0!" },
    { "FR", "StrRes_StatusSendingFhx", u"Envoi du fichier \"firmware\"..." },
    { "FR", "StrRes_StatusSettingFlashMode", u"Mise en mode flash..." },
    { "FR", "StrRes_StatusStoringAndUpdating", u"Stockage et mise à jour du firmware..." },
    { "FR", "StrRes_StatusUpdateCompleted", u"Mise à jour \"Firmware\": terminée" },
    { "FR", "StrRes_StatusUpdateTimeout", u"Mise à jour du firmware : délai dépassé" },
    { "FR", "StrRes_SupportedPrinterList", u"Liste des imprimantes" },
    { "FR", "StrRes_UIMsgResult", u"imprimantes mises à jour" },
    { "FR", "StrRes_CopyReport", u"Copier le rapport" },
    { "FR", "StrRes_ReturnFirmware", u"de retour sur le bus après %1\u00a0; indique le firmware %2" },
    { "FR", "StrRes_ReturnNewFirmware", u"de retour sur le bus après %1\u00a0; indique le firmware %2, qui contient le numéro de build %3" },
    { "FR", "StrRes_ReturnOtherFirmware", u"de retour sur le bus après %1\u00a0; indique le firmware %2, qui ne contient pas le numéro de build %3" },
    { "FR", "StrRes_ReturnBusy", u"de retour sur le bus après %1\u00a0; n'est pas interrogée sur sa révision de firmware tant que son état est %2" },
    { "FR", "StrRes_ReturnNoRevision", u"de retour sur le bus après %1\u00a0; n'indique aucune révision de firmware" },
    { "FR", "StrRes_ReturnNotBackYet", u"pas encore revenue sur le bus" },
    { "FR", "StrRes_ReturnSharedSerial", u"non recherchée après la mise à jour\u00A0: une autre imprimante de cette mise à jour a le même numéro de série" },
    { "FR", "StrRes_ReturnNoSerial", u"non recherchée après la mise à jour\u00A0: l'imprimante n'indique aucun numéro de série" },
    { "EN", "StrRes_RunHoldNotBlocked", u"Not blocked: %1" },
    { "EN", "StrRes_RunHoldSleep", u"sleep" },
    { "EN", "StrRes_RunHoldShutdown", u"shutdown" },
    { "EN", "StrRes_RunHoldLogOff", u"log-off" },
    { "DE", "StrRes_RunHoldNotBlocked", u"Nicht blockiert: %1" },
    { "DE", "StrRes_RunHoldSleep", u"Ruhezustand" },
    { "DE", "StrRes_RunHoldShutdown", u"Herunterfahren" },
    { "DE", "StrRes_RunHoldLogOff", u"Abmelden" },
    { "ES", "StrRes_RunHoldNotBlocked", u"Sin bloqueo: %1" },
    { "ES", "StrRes_RunHoldSleep", u"suspensión" },
    { "ES", "StrRes_RunHoldShutdown", u"apagado" },
    { "ES", "StrRes_RunHoldLogOff", u"cierre de sesión" },
    { "FR", "StrRes_RunHoldNotBlocked", u"Pas de blocage\u00a0: %1" },
    { "FR", "StrRes_RunHoldSleep", u"veille" },
    { "FR", "StrRes_RunHoldShutdown", u"arrêt" },
    { "FR", "StrRes_RunHoldLogOff", u"déconnexion" },
    { "FR", "StrRes_AccLanguageButton", u"Langue\u00a0: français. Suivante\u00a0: anglais" },
    { "FR", "StrRes_AccMinimize", u"Réduire" },
    { "FR", "StrRes_AccCloseWindow", u"Fermer la fenêtre" },
    { "FR", "StrRes_AccLogo", u"Logo %1" },
    { "FR", "StrRes_AccWarning", u"Avertissement" },
    { "FR", "StrRes_AccBusySign", u"Indicateur d'activité" },
};
// clang-format on

} // namespace

class StringTablesTest : public QObject {
    Q_OBJECT

private slots:
    void everyTextIsExact_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QString>("expected");
        for (const ExpectedText &entry : kExpected) {
            QTest::addRow("%s %s", entry.language, entry.key)
                << QStringLiteral("VornikFDU.") + QLatin1String(entry.language)
                << QByteArray(entry.key) << QString::fromUtf16(entry.text);
        }
    }

    void everyTextIsExact()
    {
        QFETCH(QString, table);
        QFETCH(QByteArray, key);
        QFETCH(QString, expected);
        const auto strings = StringTable::open(table);
        const QString actual = strings->lookup(key.constData());
        // Compared unit by unit first, so a failure names the first differing position
        // instead of printing two texts that look the same (CR, no-break space).
        for (qsizetype i = 0; i < qMin(actual.size(), expected.size()); ++i) {
            if (actual[i] != expected[i])
                QFAIL(qPrintable(QStringLiteral("unit %1: U+%2, expected U+%3")
                                     .arg(i)
                                     .arg(actual[i].unicode(), 4, 16, QLatin1Char('0'))
                                     .arg(expected[i].unicode(), 4, 16, QLatin1Char('0'))));
        }
        QCOMPARE(actual, expected);
    }

    void missingKeyIsAnErrorNotAnEmptyText()
    {
        const auto strings = StringTable::open(QStringLiteral("VornikFDU.EN"));
        try {
            strings->lookup("StrRes_NoSuchText");
            QFAIL("a missing key was answered");
        } catch (const std::runtime_error &e) {
            QVERIFY(QString::fromUtf8(e.what()).contains(QLatin1String("StrRes_NoSuchText")));
        }
    }

    void onlyTheExactTableNameOpens_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("unknown language") << "VornikFDU.IT";
        QTest::newRow("longer name") << "VornikFDU.EN_US";
        QTest::newRow("other program") << "OtherTool.EN";
        QTest::newRow("lower case") << "VornikFDU.en";
        QTest::newRow("empty") << "";
    }

    void onlyTheExactTableNameOpens()
    {
        QFETCH(QString, name);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, StringTable::open(name));
    }
};

QTEST_GUILESS_MAIN(StringTablesTest)
#include "test_string_tables.moc"
