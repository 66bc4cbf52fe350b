#pragma once
// What one console run keeps for the link core, fresh for each test: the
// records, the transmit buffers and a controller link built on them (no
// transport until a test hands it a port). Also installs the test clock and
// clears the event sink.
#include "controllerlink.h"
#include "correction.h"
#include "frames.h"
#include "linkstate.h"
#include "settings.h"
#include "statusreply.h"

#include <QByteArray>

struct LinkWorld
{
    LinkWorld();

    StationSettingsRecord StationSettings;
    LinkState linkState;
    CorrectionState correctionState;
    QByteArray txFrame = QByteArray(TxFrameSize, '\0');
    QByteArray txBytes;
    QByteArray lastUploadBytes;
    bool serviceMode = false;
    qint16 utcOffsetHours = 0;
    ControllerLink link{linkState, txFrame, txBytes, lastUploadBytes};

    // The link writes through this port but leaves reading it to the test
    // (nullptr: no port, nothing is written).
    void sendThrough(ControllerTransport *port);

    // What a reply's handling reads of the station right now, as the window
    // hands it over.
    ReplyContext context() const;
};
