<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR" sourcelanguage="en_US">
<context>
    <name></name>
    <message id="StrRes_AllUpdated">
        <source>All selected printers have been updated.Updated printers would be OFF.</source>
        <translation>Toutes les imprimantes sélectionnées ont été mises à jour.&#13;&#10;Les imprimantes mises à jour seraient éteintes.</translation>
    </message>
    <message id="StrRes_Close">
        <source>CLOSE</source>
        <translation>Fermer</translation>
    </message>
    <message id="StrRes_ConnectPrinter">
        <source>Please connect atleast one printer</source>
        <translation>Veuillez connecter au moins une imprimante</translation>
    </message>
    <message id="StrRes_ConnectionWarning">
        <source>Do not disconnect printer while updating!</source>
        <translation>Ne déconnectez pas l'imprimante pendant la mise à jour&#xa0;!</translation>
    </message>
    <message id="StrRes_Copyright_Zeltan">
        <source>© 2026 ZELTAN Corporation. All rights reserved.</source>
        <translation>© 2026 ZELTAN Corporation. Tous droits réservés.</translation>
    </message>
    <message id="StrRes_Copyright_Morval">
        <source>© 2026 MORVAL Imaging Ltd. All rights reserved.</source>
        <translation>© 2026 MORVAL Imaging Ltd. Tous droits réservés.</translation>
    </message>
    <message id="StrRes_Copyright_Quadrix">
        <source>© 2026 Quadrix Systems Inc. All rights reserved.</source>
        <translation>© 2026 Quadrix Systems Inc. Tous droits réservés.</translation>
    </message>
    <message id="StrRes_Copyright_JOX">
        <source>© 2026 JOX Printing Co. All rights reserved.</source>
        <translation>© 2026 JOX Printing Co. Tous droits réservés.</translation>
    </message>
    <message id="StrRes_Copyright_TAZ">
        <source>© 2026 TAZ Technologies. All rights reserved.</source>
        <translation>© 2026 TAZ Technologies. Tous droits réservés.</translation>
    </message>
    <message id="StrRes_FhxFileError">
        <source>ERROR: Firmware file!&#13;&#10;Closing tool</source>
        <translation>ERREUR&#xa0;: Fichier du micrologiciel&#xa0;!&#13;&#10;Fermeture de l'application</translation>
    </message>
    <message id="StrRes_FhxFileMissing">
        <source>ERROR: Firmware file or product name missing!&#13;&#10;Closing tool</source>
        <translation>ERREUR&#xa0;: fichier de micrologiciel ou nom de produit manquant&#xa0;!&#13;&#10;Fermeture de l'application</translation>
    </message>
    <message id="StrRes_FhxInvalidExtension">
        <source>ERROR: Firmware file is invlaid!&#13;&#10;Closing tool</source>
        <translation>ERREUR&#xa0;: Le fichier du micrologiciel n'est pas valide!&#13;&#10;Fermeture de l'application</translation>
    </message>
    <message id="StrRes_FhxMismatch">
        <source>ERROR: Firmware file mismatch!&#13;&#10;Closing tool</source>
        <translation>ERREUR&#xa0;: Non-concordance du fichier du micrologiciel&#xa0;!&#13;&#10;Fermeture de l'application</translation>
    </message>
    <message id="StrRes_FhxUnsigned">
        <source>ERROR: Firmware file is not signed!&#13;&#10;Closing tool</source>
        <translation>ERREUR&#xa0;: Le fichier du micrologiciel n'est pas signé&#xa0;!&#13;&#10;Fermeture de l'application</translation>
    </message>
    <message id="StrRes_FhxUnsupportedProduct">
        <source>ERROR: Selected product is not supported!&#13;&#10;Closing tool</source>
        <translation>ERREUR&#xa0;: Le produit sélectionné n'est pas pris en charge&#xa0;!&#13;&#10;Fermeture de l'application</translation>
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
        <translation>Instructions de mise à jour du micrologiciel de l'imprimante</translation>
    </message>
    <message id="StrRes_Instructions">
        <source>1. Power ON printer&#13;&#10;2. Wait until printer is IDLE/Ready&#13;&#10;3. Connect to printer via USB&#13;&#10;4. Wait for printer detection&#13;&#10;5. Select printer from list&#13;&#10;6. Press "START" button to start updating printer firmware</source>
        <translation>1. Mettez l'imprimante sous tension&#13;&#10;2. Attendez que l'imprimante soit IDLE/Ready&#13;&#10;3. Connectez-vous à l'imprimante via USB&#13;&#10;4. Attendez la détection de l'imprimante&#13;&#10;5. Sélectionnez l'imprimante dans la liste&#13;&#10;6. Appuyez sur le bouton "Démarrer" pour lancer la mise à jour du firmware de l'imprimante</translation>
    </message>
    <message id="StrRes_PrinterAccessDenied">
        <source>USB printers found that this user account may not open, and that are therefore not listed: %1&#13;&#10;To allow it: add the account to group lp (sudo adduser %2 lp) and log in again, or install the vornikfdu package, whose udev rule gives the person at this computer access.</source>
        <translation>Imprimantes USB trouvées que ce compte utilisateur ne peut pas ouvrir et qui ne sont donc pas listées&#xa0;: %1&#13;&#10;Pour l'autoriser&#xa0;: ajoutez le compte au groupe lp (sudo adduser %2 lp) puis reconnectez-vous, ou installez le paquet vornikfdu, dont la règle udev donne l'accès à la personne devant cet ordinateur.</translation>
    </message>
    <message id="StrRes_PrintersTaken">
        <source>USB printers found that another program has taken from the printer driver, and that are therefore not listed: %1&#13;&#10;To update them: let that program finish or close it (a print job, or a search for printers in the printer settings), then unplug each of these printers and plug it in again.</source>
        <translation>Imprimantes USB trouvées qu'un autre programme a retirées au pilote d'imprimante et qui ne sont donc pas listées&#xa0;: %1&#13;&#10;Pour les mettre à jour&#xa0;: laissez ce programme terminer ou fermez-le (une impression, ou une recherche d'imprimantes dans les paramètres d'impression), puis débranchez chacune de ces imprimantes et rebranchez-la.</translation>
    </message>
    <message id="StrRes_PrintersTakenByIppUsb">
        <source>USB printers found that ipp-usb, the service for driverless printing over USB, has taken from the printer driver, and that are therefore not listed: %1&#13;&#10;To update them: install the vornikfdu package, which keeps ipp-usb away from these printers, or stop ipp-usb for the update (sudo systemctl mask --runtime --now ipp-usb; undone with sudo systemctl unmask --runtime ipp-usb, or by restarting the computer), then unplug each of these printers and plug it in again.</source>
        <translation>Imprimantes USB trouvées qu'ipp-usb, le service d'impression sans pilote par USB, a retirées au pilote d'imprimante et qui ne sont donc pas listées&#xa0;: %1&#13;&#10;Pour les mettre à jour&#xa0;: installez le paquet vornikfdu, qui tient ipp-usb à l'écart de ces imprimantes, ou arrêtez ipp-usb pour la mise à jour (sudo systemctl mask --runtime --now ipp-usb&#xa0;; annulé par sudo systemctl unmask --runtime ipp-usb ou par un redémarrage de l'ordinateur), puis débranchez chacune de ces imprimantes et rebranchez-la.</translation>
    </message>
    <message id="StrRes_PrinterSerialNum">
        <source>Serial #</source>
        <translation>Numéro de série</translation>
    </message>
    <message id="StrRes_ProgressUpdateSteps">
        <source>Processing step: </source>
        <translation>Étape de traitement: </translation>
    </message>
    <message id="StrRes_RunHoldReason">
        <source>Printer firmware is being updated</source>
        <translation>Mise à jour du firmware des imprimantes en cours</translation>
    </message>
    <message id="StrRes_SelectPrinter">
        <source>Please select atleast one printer</source>
        <translation>Veuillez sélectionner au moins une imprimante</translation>
    </message>
    <message id="StrRes_SomeUpdated">
        <source>ERROR:Failed to update some printers!&#13;&#10;Please check status for each printer.&#13;&#10;Updated printers would be OFF.</source>
        <translation>Mise à jour de certaines imprimantes uniquement&#xa0;!&#13;&#10;Veuillez vérifier l'état de chaque imprimante&#13;&#10;Les imprimantes mises à jour seraient éteintes&#13;&#10;ERREUR&#xa0;: Échec de la mise à jour de certaines imprimantes</translation>
    </message>
    <message id="StrRes_Start">
        <source>START</source>
        <translation>Démarrer</translation>
    </message>
    <message id="StrRes_Status">
        <source>Status</source>
        <translation>Statut</translation>
    </message>
    <message id="StrRes_StatusFlashModeFail">
        <source>ERROR: Failed to set flash mode</source>
        <translation>ERREUR&#xa0;: Échec de la définition du mode flash</translation>
    </message>
    <message id="StrRes_StatusFlashingTimeout">
        <source>Error: Flashing timeout!</source>
        <translation>Erreur&#xa0;: Délai d'expiration du mode Flash&#xa0;!</translation>
    </message>
    <message id="StrRes_StatusInFlashMode">
        <source>Flash mode</source>
        <translation>en mode mise à jour</translation>
    </message>
    <message id="StrRes_StatusInIdleMode">
        <source>Idle mode</source>
        <translation>Prêt</translation>
    </message>
    <message id="StrRes_StatusPrinterNotConnected">
        <source>Error: Printer not connected!</source>
        <translation>Erreur&#xa0;: Imprimante non connectée&#xa0;!</translation>
    </message>
    <message id="StrRes_StatusPrinterNotFound">
        <source>Error: Printer not found!</source>
        <translation>Erreur&#xa0;: Imprimante introuvable&#xa0;!</translation>
    </message>
    <message id="StrRes_StatusSendingFhx">
        <source>Sending firmware file ...</source>
        <translation>Envoi du fichier "firmware"...</translation>
    </message>
    <message id="StrRes_StatusSettingFlashMode">
        <source>Setting to flash mode ...</source>
        <translation>Mise en mode flash...</translation>
    </message>
    <message id="StrRes_StatusStoringAndUpdating">
        <source>Storing and updating firmware ...</source>
        <translation>Stockage et mise à jour du firmware...</translation>
    </message>
    <message id="StrRes_StatusUpdateCompleted">
        <source>Firmware update: completed</source>
        <translation>Mise à jour "Firmware": terminée</translation>
    </message>
    <message id="StrRes_StatusUpdateTimeout">
        <source>Firmware update: timeout!</source>
        <translation>Mise à jour du firmware : délai dépassé</translation>
    </message>
    <message id="StrRes_SupportedPrinterList">
        <source>Printer list</source>
        <translation>Liste des imprimantes</translation>
    </message>
    <message id="StrRes_UIMsgResult">
        <source>printers updated</source>
        <translation>imprimantes mises à jour</translation>
    </message>
    <message id="StrRes_CopyReport">
        <source>Copy report</source>
        <translation>Copier le rapport</translation>
    </message>
    <message id="StrRes_ReturnFirmware">
        <source>back on the bus after %1; reports firmware %2</source>
        <translation>de retour sur le bus après %1&#xa0;; indique le firmware %2</translation>
    </message>
    <message id="StrRes_ReturnNewFirmware">
        <source>back on the bus after %1; reports firmware %2, which contains build number %3</source>
        <translation>de retour sur le bus après %1&#xa0;; indique le firmware %2, qui contient le numéro de build %3</translation>
    </message>
    <message id="StrRes_ReturnOtherFirmware">
        <source>back on the bus after %1; reports firmware %2, which does not contain build number %3</source>
        <translation>de retour sur le bus après %1&#xa0;; indique le firmware %2, qui ne contient pas le numéro de build %3</translation>
    </message>
    <message id="StrRes_ReturnBusy">
        <source>back on the bus after %1; is not asked for its firmware revision while its status is %2</source>
        <translation>de retour sur le bus après %1&#xa0;; n'est pas interrogée sur sa révision de firmware tant que son état est %2</translation>
    </message>
    <message id="StrRes_ReturnNoRevision">
        <source>back on the bus after %1; reports no firmware revision</source>
        <translation>de retour sur le bus après %1&#xa0;; n'indique aucune révision de firmware</translation>
    </message>
    <message id="StrRes_ReturnNotBackYet">
        <source>not back yet</source>
        <translation>pas encore revenue sur le bus</translation>
    </message>
    <message id="StrRes_ReturnSharedSerial">
        <source>not looked for after the run: another printer of this run has the same serial number</source>
        <translation>non recherchée après la mise à jour&#xa0;: une autre imprimante de cette mise à jour a le même numéro de série</translation>
    </message>
    <message id="StrRes_ReturnNoSerial">
        <source>not looked for after the run: the printer reports no serial number</source>
        <translation>non recherchée après la mise à jour&#xa0;: l'imprimante n'indique aucun numéro de série</translation>
    </message>
    <message id="StrRes_RunHoldNotBlocked">
        <source>Not blocked: %1</source>
        <translation>Pas de blocage&#xa0;: %1</translation>
    </message>
    <message id="StrRes_RunHoldSleep">
        <source>sleep</source>
        <translation>veille</translation>
    </message>
    <message id="StrRes_RunHoldShutdown">
        <source>shutdown</source>
        <translation>arrêt</translation>
    </message>
    <message id="StrRes_RunHoldLogOff">
        <source>log-off</source>
        <translation>déconnexion</translation>
    </message>
    <message id="StrRes_AccLanguageButton">
        <source>Language: English. Next: German</source>
        <translation>Langue&#xa0;: français. Suivante&#xa0;: anglais</translation>
    </message>
    <message id="StrRes_AccMinimize">
        <source>Minimise</source>
        <translation>Réduire</translation>
    </message>
    <message id="StrRes_AccCloseWindow">
        <source>Close the window</source>
        <translation>Fermer la fenêtre</translation>
    </message>
    <message id="StrRes_AccLogo">
        <source>%1 logo</source>
        <translation>Logo %1</translation>
    </message>
    <message id="StrRes_AccWarning">
        <source>Warning</source>
        <translation>Avertissement</translation>
    </message>
    <message id="StrRes_AccBusySign">
        <source>Activity indicator</source>
        <translation>Indicateur d'activité</translation>
    </message>
</context>
</TS>
