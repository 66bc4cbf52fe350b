// Manual pointing, origin corrections and u-blox pass-through: wired by name
// now, behaviour comes with their own work.
#include "tuv.h"
#include "ui_tuv.h"

void tuv::on_GoToOrig_clicked() {}
void tuv::on_GoToCorr_clicked() {}
void tuv::on_SaveOrig_clicked() {}
void tuv::on_NorthCorr_returnPressed() {}
void tuv::on_ParallCorr_returnPressed() {}
void tuv::on_NorthCorr_cursorPositionChanged(int, int) {}
void tuv::on_ParallCorr_cursorPositionChanged(int, int) {}
void tuv::on_ublox_clicked() {}
void tuv::on_Cancel_clicked() {}
void tuv::on_goto180_clicked() {}
void tuv::on_Azimuth_returnPressed() {}
void tuv::on_Lat1_cursorPositionChanged(int, int) {}
void tuv::on_Lat1_returnPressed() {}
void tuv::on_Lat2_returnPressed() {}
void tuv::on_Lon1_returnPressed() {}
void tuv::on_Lon2_returnPressed() {}
void tuv::on_Lon1_cursorPositionChanged(int, int) {}
void tuv::on_Lat2_cursorPositionChanged(int, int) {}
void tuv::on_Lon2_cursorPositionChanged(int, int) {}
void tuv::on_ScanMode_clicked() {}
void tuv::on_Feedback_clicked() {}
void tuv::on_ScanModeFB_clicked() {}
void tuv::on_Forward_clicked() {}
void tuv::on_Back_clicked() {}
void tuv::on_Left_clicked() {}
void tuv::on_Right_clicked() {}
