#include "tuv.h"
#include "ui_tuv.h"

void tuv::on_Open_clicked() {}
void tuv::on_UpLoad_clicked() {}
void tuv::on_Immediat_clicked() {}
void tuv::on_GoTo_clicked() {}
void tuv::on_Focus_returnPressed() {}
void tuv::on_korrEdit_returnPressed() {}
