#include "ui/form1.h"
int Form1::App_CopyFirmwareRCDATAResourceToPrinter(const char16_t *) { return 0; }
