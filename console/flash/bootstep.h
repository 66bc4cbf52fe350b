#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

// Frames of the STM32 USART boot loader, as the programmer sends them.
namespace bootframes {
inline constexpr quint8 Ack = 0x79;
inline constexpr quint32 FlashBase = 0x08000000;
inline constexpr int BlockSize = 256;
inline constexpr int PageSize = 1024;
// Ack, count, version, the command codes, Ack: count + 4 bytes; the programmer
// accepts only the boot loader that lists 11 commands.
inline constexpr int GetReplyLength = 15;

// Exclusive or of all bytes.
quint8 xorOf(const QByteArray &bytes);
// Erase list: N-1, the page numbers 0..N-1, XOR (N from 1 to 255).
QByteArray eraseList(quint32 pageCount);
// Four address bytes, most significant first, and their XOR.
QByteArray address(quint32 address);
// Data for Write Memory: length-1, the 1..256 bytes, XOR of all that.
QByteArray dataBlock(const QByteArray &data);
}

// The phase of a programming run: each waits for the answer to the frame sent
// on entering it. The numbers are the ones the run has always reported.
enum class BootPhase : quint8 {
    Done = 0,           // the Go address was acknowledged
    Sync = 2,           // 7F sent
    GetReply = 3,       // Get sent: 15 bytes, first and last ACK
    EraseCommand = 4,   // Erase sent
    EraseList = 5,      // the page list sent
    WriteCommand = 6,   // Write Memory sent
    WriteAddress = 7,   // the block's address sent
    Block = 8,          // a full block of 256 sent
    LastBlock = 9,      // the tail block sent
    GoCommand = 10,     // Go sent
    GoAddress = 11,     // 0x08000000 sent
    Failed = 255,       // nothing more is sent
};

// The image of a run and the numbers the exchange derives from its size.
struct BootImage
{
    QByteArray data;
    qint32 size = 0;
    qint32 pageCount = 0;   // size / 1024 + 1
    qint32 blockCount = 0;  // full blocks of 256
    qint32 tailLength = 0;  // size mod 256
    static BootImage of(const QByteArray &data);
};

struct BootState
{
    BootPhase phase = BootPhase::Sync;
    qint32 blockIndex = 0; // next block to write
};

// What one answer leads to.
struct BootStep
{
    BootState next;
    QByteArray send;     // the frame to write (may be empty)
    bool sendFrame = false; // a frame goes out (or, after a failure, an empty one): the timeout starts over
    QStringList progress;   // texts for progresS, in order
};

// The frame that opens a run.
QByteArray bootStartFrame();

// How a reception that has fallen silent is judged.
enum class AnswerFit {
    Take,    // process it
    Wait,    // leave it in the port (the Get reply still coming)
    Discard, // clear the port; the phase stays
};
AnswerFit answerFit(BootPhase phase, qint64 available);

// The length of the answer the phase waits for, judged from its first bytes:
// 1 for an acknowledgement, count + 4 for the Get reply once its count is in;
// -1 while not known.
int knownAnswerLength(BootPhase phase, const QByteArray &head);

// One answer taken: the next phase, the frame to send and the progress texts.
// The answer is what was read (at most the largest accepted reception).
BootStep bootTransition(const BootImage &image, BootState state, const QByteArray &answer);

// Why a run failed, for the event log: the answer that ended it, or the frame
// that got no (usable) answer before the timeout.
QString bootRefusalText(const BootState &at, const QByteArray &answer);
QString bootTimeoutText(const BootState &at, qint64 unusedBytes);
