#pragma once
#include "correction.h"
#include "flashworkflow.h"
#include "frames.h"
#include "linkstate.h"
#include "manual.h"
#include "passplan.h"
#include "settings.h"
#include "skypanel.h"

#include <QByteArray>

// Everything one run of the console keeps between events, owned by the window.
// The parts keep the names the station's documents give them; core functions
// are handed the parts they read and write.
struct ConsoleState
{
    StationSettingsRecord StationSettings;
    PassPlanRecord PassPlan;
    LinkState linkState;
    CorrectionState correctionState;
    ManualState manualState;
    SkyDrawState SkyDraw;
    // The one transmit buffer shared by all senders, the bytes last written,
    // and the last track upload frame for the automatic repeat.
    QByteArray txFrame = QByteArray(TxFrameSize, '\0');
    QByteArray txBytes;
    QByteArray lastUploadBytes;
    FlashWorkflowState flashWorkflow;
    bool serviceMode = false;
    qint16 utcOffsetHours = 0;
};
