// Receptions on the controller's serial line: framing, status-reply decoding
// and everything a reply sets off (state changes, GPS time and the clock, on
// the fake clock only, kind values, recording states).
#include "appstate.h"
#include "fuzzsupport.h"
#include "linkstate.h"
#include "reception.h"
#include "statusreply.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

// Input: a first byte of options, then receptions, each a header byte and its
// bytes. Header: low 5 bits the byte count the port reports (only 1 and 16
// are read, as the port does); 0x80 the link was lost before it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 16 * 1024)
        return 0;
    fuzz::setUp();
    fuzz::exampleSettings();
    StationSettings.TimeCorr = data[0] & 1;
    StationSettings.Demodulator = data[0] & 2;
    serviceMode = data[0] & 4;
    utcOffsetHours = qint16(qint8(data[0]) >> 3);
    linkState.reset();
    linkState.linkWatchdog = 3;

    ReplyReceiver receiver;
    size_t at = 1;
    while (at < size) {
        const quint8 header = data[at++];
        const qint64 available = header & 0x1F;
        if (header & 0x80)
            linkState.linkWatchdog = 0;
        QByteArray bytes;
        if (available == 1 || available == StatusReplySize) {
            const size_t n = std::min<size_t>(size_t(available), size - at);
            bytes = QByteArray(reinterpret_cast<const char *>(data + at), int(n));
            at += n;
        }
        receiver.onReadyRead();
        for (int tick = 0; tick < 256 && !receiver.onTick(); ++tick) {
        }
        const ParsedReception p = receiver.classify(available, bytes);
        if (p.type == ParsedReception::Status)
            describeStateChange(p.reply.statusWord, quint16(~p.reply.statusWord));
        receiver.afterParse();
    }
    serviceMode = false;
    utcOffsetHours = 0;
    linkState.reset();
    return 0;
}
