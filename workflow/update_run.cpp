#include "ui/form1.h"
void Form1::App_StartButton_Handler() { }
void Form1::App_SetPrintersInFlashMode() { }
int Form1::App_FlashFirmware() { return 0; }
int Form1::App_WaitForFlashUpdate() { return 0; }
void Form1::App_BGWorker_SetPrinterInFlashMode() { }
void Form1::App_BGWorker_SendFlashFile(int) { }
void Form1::App_BGWorker_WaitForFlashUpdateDone() { }
void Form1::PumpEvents() { }
void Form1::PumpUntilIdle(const BackgroundWorker &) { }
