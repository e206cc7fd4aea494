#include "printer_info.h"

PrinterInfo gFDUPrinterInfo {};
