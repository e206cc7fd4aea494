<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES" sourcelanguage="en_US">
<context>
    <name></name>
    <message id="StrRes_AllUpdated">
        <source>All selected printers have been updated.Updated printers would be OFF.</source>
        <translation>Todas las impresoras seleccionadas se han actualizado.&#13;&#10;Las impresoras actualizadas estarían apagadas.</translation>
    </message>
    <message id="StrRes_Close">
        <source>CLOSE</source>
        <translation>Cerrar</translation>
    </message>
    <message id="StrRes_ConnectPrinter">
        <source>Please connect atleast one printer</source>
        <translation>Conecta al menos una impresora</translation>
    </message>
    <message id="StrRes_ConnectionWarning">
        <source>Do not disconnect printer while updating!</source>
        <translation>¡No desconecte la impresora mientras se actualiza!</translation>
    </message>
    <message id="StrRes_Copyright_Zeltan">
        <source>© 2026 ZELTAN Corporation. All rights reserved.</source>
        <translation>© 2026 ZELTAN Corporation. Todos los derechos reservados.</translation>
    </message>
    <message id="StrRes_Copyright_Morval">
        <source>© 2026 MORVAL Imaging Ltd. All rights reserved.</source>
        <translation>© 2026 MORVAL Imaging Ltd. Todos los derechos reservados.</translation>
    </message>
    <message id="StrRes_Copyright_Quadrix">
        <source>© 2026 Quadrix Systems Inc. All rights reserved.</source>
        <translation>© 2026 Quadrix Systems Inc. Todos los derechos reservados.</translation>
    </message>
    <message id="StrRes_Copyright_JOX">
        <source>© 2026 JOX Printing Co. All rights reserved.</source>
        <translation>© 2026 JOX Printing Co. Todos los derechos reservados.</translation>
    </message>
    <message id="StrRes_Copyright_TAZ">
        <source>© 2026 TAZ Technologies. All rights reserved.</source>
        <translation>© 2026 TAZ Technologies. Todos los derechos reservados.</translation>
    </message>
    <message id="StrRes_FhxFileError">
        <source>ERROR: Firmware file!&#13;&#10;Closing tool</source>
        <translation>ERROR: ¡Archivo de firmware!&#13;&#10;aplicación de cierre</translation>
    </message>
    <message id="StrRes_FhxFileMissing">
        <source>ERROR: Firmware file or product name missing!&#13;&#10;Closing tool</source>
        <translation>ERROR: ¡Falta el archivo de firmware o el nombre del producto!&#13;&#10;aplicación de cierre</translation>
    </message>
    <message id="StrRes_FhxInvalidExtension">
        <source>ERROR: Firmware file is invlaid!&#13;&#10;Closing tool</source>
        <translation>ERROR: ¡El archivo de firmware no es válido!&#13;&#10;Aplicación de cierre</translation>
    </message>
    <message id="StrRes_FhxMismatch">
        <source>ERROR: Firmware file mismatch!&#13;&#10;Closing tool</source>
        <translation>ERROR: ¡No coincide el archivo de firmware!&#13;&#10;Aplicación de cierre</translation>
    </message>
    <message id="StrRes_FhxUnsigned">
        <source>ERROR: Firmware file is not signed!&#13;&#10;Closing tool</source>
        <translation>ERROR: ¡El archivo de firmware no está firmado!&#13;&#10;aplicación de cierre</translation>
    </message>
    <message id="StrRes_FhxUnsupportedProduct">
        <source>ERROR: Selected product is not supported!&#13;&#10;Closing tool</source>
        <translation>ERROR: ¡El producto seleccionado no es compatible!&#13;&#10;aplicación de cierre</translation>
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
        <translation>Instrucciones de actualización del firmware de la impresora</translation>
    </message>
    <message id="StrRes_Instructions">
        <source>1. Power ON printer&#13;&#10;2. Wait until printer is IDLE/Ready&#13;&#10;3. Connect to printer via USB&#13;&#10;4. Wait for printer detection&#13;&#10;5. Select printer from list&#13;&#10;6. Press "START" button to start updating printer firmware</source>
        <translation>1. Encienda la impresora&#13;&#10;2. Espere hasta que la impresora esté INACTIVA/Lista&#13;&#10;3. Conéctese a la impresora a través de USB&#13;&#10;4. Espere a que se detecte la impresora&#13;&#10;5. Seleccione la impresora de la lista&#13;&#10;6. Presione el botón "Comienzo" para comenzar a actualizar el firmware de la impresora</translation>
    </message>
    <message id="StrRes_PrinterAccessDenied">
        <source>USB printers found that this user account may not open, and that are therefore not listed: %1&#13;&#10;To allow it: add the account to group lp (sudo adduser %2 lp) and log in again, or install the vornikfdu package, whose udev rule gives the person at this computer access.</source>
        <translation>Impresoras USB encontradas que esta cuenta de usuario no puede abrir y que, por tanto, no aparecen en la lista: %1&#13;&#10;Para permitirlo: añada la cuenta al grupo lp (sudo adduser %2 lp) y vuelva a iniciar sesión, o instale el paquete vornikfdu, cuya regla de udev da acceso a la persona que está en este equipo.</translation>
    </message>
    <message id="StrRes_PrintersTaken">
        <source>USB printers found that another program has taken from the printer driver, and that are therefore not listed: %1&#13;&#10;To update them: let that program finish or close it (a print job, or a search for printers in the printer settings), then unplug each of these printers and plug it in again.</source>
        <translation>Impresoras USB encontradas que otro programa ha quitado al controlador de impresora y que, por tanto, no aparecen en la lista: %1&#13;&#10;Para actualizarlas: deje que ese programa termine o ciérrelo (un trabajo de impresión, o una búsqueda de impresoras en la configuración de impresoras) y, a continuación, desconecte cada una de estas impresoras y vuelva a conectarla.</translation>
    </message>
    <message id="StrRes_PrintersTakenByIppUsb">
        <source>USB printers found that ipp-usb, the service for driverless printing over USB, has taken from the printer driver, and that are therefore not listed: %1&#13;&#10;To update them: install the vornikfdu package, which keeps ipp-usb away from these printers, or stop ipp-usb for the update (sudo systemctl mask --runtime --now ipp-usb; undone with sudo systemctl unmask --runtime ipp-usb, or by restarting the computer), then unplug each of these printers and plug it in again.</source>
        <translation>Impresoras USB encontradas que ipp-usb, el servicio de impresión sin controlador por USB, ha quitado al controlador de impresora y que, por tanto, no aparecen en la lista: %1&#13;&#10;Para actualizarlas: instale el paquete vornikfdu, que mantiene ipp-usb alejado de estas impresoras, o detenga ipp-usb durante la actualización (sudo systemctl mask --runtime --now ipp-usb; se deshace con sudo systemctl unmask --runtime ipp-usb o reiniciando el equipo) y, a continuación, desconecte cada una de estas impresoras y vuelva a conectarla.</translation>
    </message>
    <message id="StrRes_PrinterSerialNum">
        <source>Serial #</source>
        <translation>Número de serie</translation>
    </message>
    <message id="StrRes_ProgressUpdateSteps">
        <source>Processing step: </source>
        <translation>Paso de procesamiento: </translation>
    </message>
    <message id="StrRes_RunHoldReason">
        <source>Printer firmware is being updated</source>
        <translation>Se está actualizando el firmware de las impresoras</translation>
    </message>
    <message id="StrRes_SelectPrinter">
        <source>Please select atleast one printer</source>
        <translation>Seleccione al menos una impresora</translation>
    </message>
    <message id="StrRes_SomeUpdated">
        <source>ERROR:Failed to update some printers!&#13;&#10;Please check status for each printer.&#13;&#10;Updated printers would be OFF.</source>
        <translation>¡Solo se actualizaron algunas impresoras!&#13;&#10;Verifique el estado de cada impresora&#13;&#10;Las impresoras actualizadas estarían apagadas&#13;&#10;ERROR:Error al actualizar algunas impresoras</translation>
    </message>
    <message id="StrRes_Start">
        <source>START</source>
        <translation>Comienzo</translation>
    </message>
    <message id="StrRes_Status">
        <source>Status</source>
        <translation>Estado</translation>
    </message>
    <message id="StrRes_StatusFlashModeFail">
        <source>ERROR: Failed to set flash mode</source>
        <translation>ERROR: fallo del modo flash</translation>
    </message>
    <message id="StrRes_StatusFlashingTimeout">
        <source>Error: Flashing timeout!</source>
        <translation>Error: ¡Tiempo de espera agotado del modo flash!</translation>
    </message>
    <message id="StrRes_StatusInFlashMode">
        <source>Flash mode</source>
        <translation>en modo de actualización</translation>
    </message>
    <message id="StrRes_StatusInIdleMode">
        <source>Idle mode</source>
        <translation>Lista</translation>
    </message>
    <message id="StrRes_StatusPrinterNotConnected">
        <source>Error: Printer not connected!</source>
        <translation>Error: ¡Impresora no conectada!</translation>
    </message>
    <message id="StrRes_StatusPrinterNotFound">
        <source>Error: Printer not found!</source>
        <translation>Error: ¡Impresora no encontrada!</translation>
    </message>
    <message id="StrRes_StatusSendingFhx">
        <source>Sending firmware file ...</source>
        <translation>Enviando archivo de firmware...</translation>
    </message>
    <message id="StrRes_StatusSettingFlashMode">
        <source>Setting to flash mode ...</source>
        <translation>Poniendo en modo flash...</translation>
    </message>
    <message id="StrRes_StatusStoringAndUpdating">
        <source>Storing and updating firmware ...</source>
        <translation>Almacenamiento y actualización de firmware...</translation>
    </message>
    <message id="StrRes_StatusUpdateCompleted">
        <source>Firmware update: completed</source>
        <translation>Actualización de firmware: completada</translation>
    </message>
    <message id="StrRes_StatusUpdateTimeout">
        <source>Firmware update: timeout!</source>
        <translation>Actualización de firmware: tiempo de espera!</translation>
    </message>
    <message id="StrRes_SupportedPrinterList">
        <source>Printer list</source>
        <translation>Lista de impresoras</translation>
    </message>
    <message id="StrRes_UIMsgResult">
        <source>printers updated</source>
        <translation>impresoras actualizadas</translation>
    </message>
    <message id="StrRes_CopyReport">
        <source>Copy report</source>
        <translation>Copiar informe</translation>
    </message>
    <message id="StrRes_ReturnFirmware">
        <source>back on the bus after %1; reports firmware %2</source>
        <translation>de vuelta en el bus tras %1; indica el firmware %2</translation>
    </message>
    <message id="StrRes_ReturnNewFirmware">
        <source>back on the bus after %1; reports firmware %2, which contains build number %3</source>
        <translation>de vuelta en el bus tras %1; indica el firmware %2, que contiene el número de compilación %3</translation>
    </message>
    <message id="StrRes_ReturnOtherFirmware">
        <source>back on the bus after %1; reports firmware %2, which does not contain build number %3</source>
        <translation>de vuelta en el bus tras %1; indica el firmware %2, que no contiene el número de compilación %3</translation>
    </message>
    <message id="StrRes_ReturnBusy">
        <source>back on the bus after %1; is not asked for its firmware revision while its status is %2</source>
        <translation>de vuelta en el bus tras %1; no se le pide la revisión de firmware mientras su estado sea %2</translation>
    </message>
    <message id="StrRes_ReturnNoRevision">
        <source>back on the bus after %1; reports no firmware revision</source>
        <translation>de vuelta en el bus tras %1; no indica ninguna revisión de firmware</translation>
    </message>
    <message id="StrRes_ReturnNotBackYet">
        <source>not back yet</source>
        <translation>todavía no ha vuelto</translation>
    </message>
    <message id="StrRes_ReturnSharedSerial">
        <source>not looked for after the run: another printer of this run has the same serial number</source>
        <translation>no se busca después de la actualización: otra impresora de esta actualización tiene el mismo número de serie</translation>
    </message>
    <message id="StrRes_ReturnNoSerial">
        <source>not looked for after the run: the printer reports no serial number</source>
        <translation>no se busca después de la actualización: la impresora no indica ningún número de serie</translation>
    </message>
    <message id="StrRes_RunHoldNotBlocked">
        <source>Not blocked: %1</source>
        <translation>Sin bloqueo: %1</translation>
    </message>
    <message id="StrRes_RunHoldSleep">
        <source>sleep</source>
        <translation>suspensión</translation>
    </message>
    <message id="StrRes_RunHoldShutdown">
        <source>shutdown</source>
        <translation>apagado</translation>
    </message>
    <message id="StrRes_RunHoldLogOff">
        <source>log-off</source>
        <translation>cierre de sesión</translation>
    </message>
    <message id="StrRes_AccLanguageButton">
        <source>Language: English. Next: German</source>
        <translation>Idioma: español. Siguiente: francés</translation>
    </message>
    <message id="StrRes_AccMinimize">
        <source>Minimise</source>
        <translation>Minimizar</translation>
    </message>
    <message id="StrRes_AccCloseWindow">
        <source>Close the window</source>
        <translation>Cerrar la ventana</translation>
    </message>
    <message id="StrRes_AccLogo">
        <source>%1 logo</source>
        <translation>Logotipo de %1</translation>
    </message>
    <message id="StrRes_AccWarning">
        <source>Warning</source>
        <translation>Advertencia</translation>
    </message>
    <message id="StrRes_AccBusySign">
        <source>Activity indicator</source>
        <translation>Indicador de actividad</translation>
    </message>
</context>
</TS>
