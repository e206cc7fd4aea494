#include "ui/form1.h"
void Form1::Form1_Load() { }
void Form1::App_Form1Load_Handler() { }
int Form1::App_IsCorrectFlashFile(QString &) { return 0; }
