#include "tuv.h"
#include "ui_tuv.h"

void tuv::SenDat() {}
void tuv::TimerUpdate() {}
void tuv::TimerOk() {}
void tuv::readdata() {}
void tuv::readTcpData() {}
QString tuv::LogfilenamePrepare() { return {}; }
QString tuv::LogfileTitlePrepare() { return {}; }
