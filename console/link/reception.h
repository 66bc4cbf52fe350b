#pragma once
#include "statusreply.h"

#include <QByteArray>

class ControllerTransport;
struct LinkState;

// What one reception turned out to be.
struct ParsedReception
{
    enum Type {
        None,       // nothing was waiting
        Overrun,    // more than 16 bytes: dropped, a status request follows
        Correction, // the lone 0x00 byte: answer it (correctionWanted / nextCorrection)
        Revive,     // good reply while the link was down: it only revives the link
        Status,     // good reply acted on: apply `update` to the widgets
        Dropped,    // wrong length, no sync, or a lone byte other than 0x00
    };
    Type type = None;
    StatusReply reply;   // Revive and Status
    StatusUpdate update; // Status
};

// Framing of receptions by line silence, on the link's state. The controller
// link drives it: a reception begins on readyRead, is parsed after the silence
// and may be followed by a status request.
class ReplyReceiver
{
public:
    explicit ReplyReceiver(LinkState &linkState) : m_s(linkState) {}
    // On readyRead: true when a new reception begins (cycleTicks is then set to
    // 0; the caller starts replyTimer and restarts cycleTimer with 100 ms).
    bool onReadyRead();
    // On every replyTimer tick: true when the silence has lasted long enough
    // and the reception is to be parsed now.
    bool onTick();
    // Reads what is waiting and discards the rest of the input.
    ParsedReception parse(ControllerTransport &port, const ReplyContext &context);
    // The same on bytes already read: available is the count the port
    // reported, bytes what was read of it (1 or 16 bytes, else ignored).
    ParsedReception classify(qint64 available, const QByteArray &bytes, const ReplyContext &context);
    // After parsing: true when a status request is to be sent (requestStatus());
    // the link watchdog is re-armed in any case.
    bool afterParse();

private:
    LinkState &m_s;
};
