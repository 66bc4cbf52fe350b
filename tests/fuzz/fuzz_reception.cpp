// Receptions on the controller's serial line: framing, status-reply decoding
// and everything a reply sets off (state changes, GPS time and the clock, on
// the fake clock only, kind values, recording states).
#include "clock.h"
#include "dialogs.h"
#include "linkstate.h"
#include "reception.h"
#include "statusreply.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {
// No prompt may block and no run may touch the machine's clock: silent
// dialogs and a fake clock standing at a fixed moment, set back before every
// input.
void setUp()
{
    static FakeClock clock(QDateTime(QDate(2026, 5, 17), QTime(11, 58, 30, 250), Qt::UTC));
    static bool installed = false;
    if (!installed) {
        platform::setDialogs(nullptr);
        platform::setClock(&clock);
        installed = true;
    }
    clock.setNowUtc(QDateTime(QDate(2026, 5, 17), QTime(11, 58, 30, 250), Qt::UTC));
}
} // namespace

// Input: a first byte of options, then receptions, each a header byte and its
// bytes. Options: 0x01 TimeCorr, 0x02 unused (the Demodulator setting, which
// reception does not read), 0x04 service mode, the upper five bits the UTC
// offset in hours, signed. Header: low 5 bits the byte count the port reports
// (only 1 and 16 are read, as the port does); 0x80 the link was lost before it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 16 * 1024)
        return 0;
    setUp();
    ReplyContext context;
    context.timeCorr = data[0] & 1;
    context.serviceMode = data[0] & 4;
    context.utcOffsetHours = qint16(qint8(data[0]) >> 3);
    LinkState linkState;
    linkState.linkWatchdog = 3;

    ReplyReceiver receiver(linkState);
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
        const ParsedReception p = receiver.classify(available, bytes, context);
        if (p.type == ParsedReception::Status)
            describeStateChange(p.reply.statusWord, quint16(~p.reply.statusWord));
        receiver.afterParse();
    }
    return 0;
}
