#include "ui/form1.h"
void Form1::WndProc(quint32, quintptr) { }
void Form1::App_USBEvent_Handler() { }
void Form1::App_EnumerateSupportedPrintersInIdleMode() { }
void Form1::App_EnumerateSupportedPrintersInFlashMode() { }
void Form1::App_ClearPrinterInfo(const QString &) { }
void UI_CopyManagedStringToWcharArray(const QString &, char16_t *) { }
