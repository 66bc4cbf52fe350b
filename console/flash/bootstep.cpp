#include "bootstep.h"

namespace {

QByteArray bytes2(quint8 a, quint8 b)
{
    QByteArray out(2, '\0');
    out[0] = char(a);
    out[1] = char(b);
    return out;
}

const QByteArray GetCommand = bytes2(0x00, 0xFF);
const QByteArray EraseCommand = bytes2(0x43, 0xBC);
const QByteArray WriteCommand = bytes2(0x31, 0xCE);
const QByteArray GoCommand = bytes2(0x21, 0xDE);

} // namespace

namespace bootframes {

quint8 xorOf(const QByteArray &bytes)
{
    quint8 x = 0;
    for (char c : bytes)
        x ^= quint8(c);
    return x;
}

QByteArray eraseList(quint32 pageCount)
{
    QByteArray out;
    out.append(char(quint8(pageCount - 1)));
    for (quint32 page = 0; page < pageCount; ++page)
        out.append(char(quint8(page)));
    out.append(char(xorOf(out)));
    return out;
}

QByteArray address(quint32 address)
{
    QByteArray out;
    out.append(char(quint8(address >> 24)));
    out.append(char(quint8(address >> 16)));
    out.append(char(quint8(address >> 8)));
    out.append(char(quint8(address)));
    out.append(char(xorOf(out)));
    return out;
}

QByteArray dataBlock(const QByteArray &data)
{
    QByteArray out;
    out.append(char(quint8(data.size() - 1)));
    out.append(data);
    out.append(char(xorOf(out)));
    return out;
}

} // namespace bootframes

BootImage BootImage::of(const QByteArray &data)
{
    BootImage image;
    image.data = data;
    image.size = qint32(data.size());
    image.pageCount = image.size / bootframes::PageSize + 1;
    image.blockCount = image.size / bootframes::BlockSize;
    image.tailLength = image.size % bootframes::BlockSize;
    return image;
}

QByteArray bootStartFrame()
{
    return QByteArray(1, char(0x7F));
}

AnswerFit answerFit(BootPhase phase, qint64 available)
{
    if (phase == BootPhase::GetReply)
        return available == bootframes::GetReplyLength ? AnswerFit::Take : AnswerFit::Wait;
    return available == 1 ? AnswerFit::Take : AnswerFit::Discard;
}

int knownAnswerLength(BootPhase phase, const QByteArray &head)
{
    if (phase != BootPhase::GetReply)
        return 1;
    // A refusal is one byte; an acknowledgement is followed by the count.
    if (!head.isEmpty() && quint8(head.at(0)) != bootframes::Ack)
        return 1;
    if (head.size() < 2)
        return -1;
    return quint8(head.at(1)) + 4;
}

BootStep bootTransition(const BootImage &image, BootState state, const QByteArray &answer)
{
    BootStep step;
    step.next = state;
    if (answer.isEmpty() || quint8(answer.at(0)) != bootframes::Ack) {
        step.next.phase = BootPhase::Failed;
        return step;
    }
    step.sendFrame = true;
    BootState &next = step.next;
    switch (state.phase) {
    case BootPhase::GoAddress:
        next.phase = BootPhase::Done;
        step.sendFrame = false;
        break;
    case BootPhase::Block:
        // The block is written: on with the next one at once.
    case BootPhase::EraseList:
        if (state.blockIndex == 0)
            step.progress << QStringLiteral("\nmemory erased ok");
        if (state.blockIndex != image.blockCount || image.tailLength != 0) {
            step.send = WriteCommand;
            next.phase = BootPhase::WriteCommand;
        } else {
            step.send = GoCommand;
            next.phase = BootPhase::GoCommand;
        }
        break;
    case BootPhase::GoCommand:
        step.send = bootframes::address(bootframes::FlashBase);
        next.phase = BootPhase::GoAddress;
        break;
    case BootPhase::LastBlock:
        // The tail is written once: straight on to Go.
        step.send = GoCommand;
        next.phase = BootPhase::GoCommand;
        break;
    case BootPhase::WriteAddress:
        if (state.blockIndex < image.blockCount) {
            step.send = bootframes::dataBlock(
                image.data.mid(state.blockIndex * bootframes::BlockSize, bootframes::BlockSize));
            next.phase = BootPhase::Block;
        } else if (image.tailLength >= 1) {
            step.send = bootframes::dataBlock(image.data.mid(image.blockCount * bootframes::BlockSize, image.tailLength));
            next.phase = BootPhase::LastBlock;
        } else {
            next.phase = BootPhase::Failed;
            step.sendFrame = false;
            break;
        }
        ++next.blockIndex;
        step.progress << QStringLiteral(".");
        break;
    case BootPhase::WriteCommand:
        step.send = bootframes::address(bootframes::FlashBase
                                        + quint32(bootframes::BlockSize) * quint32(state.blockIndex));
        next.phase = BootPhase::WriteAddress;
        break;
    case BootPhase::EraseCommand:
        step.send = bootframes::eraseList(quint32(image.pageCount));
        next.phase = BootPhase::EraseList;
        break;
    case BootPhase::GetReply:
        if (answer.size() != bootframes::GetReplyLength || quint8(answer.at(14)) != bootframes::Ack) {
            next.phase = BootPhase::Failed;
            step.sendFrame = false;
            break;
        }
        step.progress << QStringLiteral("\nbootloader ok");
        step.send = EraseCommand;
        next.phase = BootPhase::EraseCommand;
        break;
    case BootPhase::Sync:
        step.progress << QStringLiteral("Loaded ") + QString::number(image.size) + QStringLiteral(" bytes")
                      << QStringLiteral("\nprogramming mode ok");
        step.send = GetCommand;
        next.phase = BootPhase::GetReply;
        break;
    case BootPhase::Done:
        step.sendFrame = false;
        break;
    case BootPhase::Failed:
        // A late ACK after a failure: nothing goes out, the timeout starts over.
        break;
    }
    return step;
}

namespace {

// The frame sent on entering the phase.
QString frameName(const BootState &s)
{
    switch (s.phase) {
    case BootPhase::Sync: return QStringLiteral("the start byte");
    case BootPhase::GetReply: return QStringLiteral("Get");
    case BootPhase::EraseCommand: return QStringLiteral("Erase");
    case BootPhase::EraseList: return QStringLiteral("the erase list");
    case BootPhase::WriteCommand: return QStringLiteral("Write Memory for block %1").arg(s.blockIndex + 1);
    case BootPhase::WriteAddress: return QStringLiteral("the address of block %1").arg(s.blockIndex + 1);
    case BootPhase::Block: return QStringLiteral("block %1").arg(s.blockIndex);
    case BootPhase::LastBlock: return QStringLiteral("the last block (%1)").arg(s.blockIndex);
    case BootPhase::GoCommand: return QStringLiteral("Go");
    case BootPhase::GoAddress: return QStringLiteral("the Go address");
    case BootPhase::Done:
    case BootPhase::Failed: break;
    }
    return QStringLiteral("the last frame");
}

} // namespace

QString bootRefusalText(const BootState &at, const QByteArray &answer)
{
    if (answer.isEmpty())
        return QStringLiteral("no answer read after ") + frameName(at);
    if (quint8(answer.at(0)) != bootframes::Ack)
        return QStringLiteral("boot loader answered 0x%1 to %2")
            .arg(quint8(answer.at(0)), 2, 16, QLatin1Char('0'))
            .arg(frameName(at));
    if (at.phase == BootPhase::GetReply)
        return QStringLiteral("bad Get reply: ") + QString::fromLatin1(answer.toHex(' '));
    return QStringLiteral("image has no block left to write after ") + frameName(at);
}

QString bootTimeoutText(const BootState &at, qint64 unusedBytes)
{
    if (unusedBytes > 0)
        return QStringLiteral("no usable answer to %1 (%2 bytes)").arg(frameName(at)).arg(unusedBytes);
    return QStringLiteral("no answer to ") + frameName(at);
}
