// Firmware programming: wired by name now, behaviour comes with its own work.
#include "tuv.h"
#include "ui_tuv.h"

void tuv::FlashPrFinish(char) {}
void tuv::progress(QString) {}
void tuv::dalshe() {}
void tuv::on_FlashProg_clicked() {}
