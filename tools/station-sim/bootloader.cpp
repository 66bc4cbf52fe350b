#include "bootloader.h"

#include <QFile>
#include <QStringList>

#include <algorithm>

namespace sim {

namespace {

enum Code : quint8 {
    Get = 0x00,
    GetVersion = 0x01,
    GetId = 0x02,
    ReadMemory = 0x11,
    Go = 0x21,
    WriteMemory = 0x31,
    Erase = 0x43,
    WriteProtect = 0x63,
    WriteUnprotect = 0x73,
    ReadoutProtect = 0x82,
    ReadoutUnprotect = 0x92,
};

const quint8 Commands[] = {Get, GetVersion, GetId, ReadMemory, Go, WriteMemory, Erase,
                           WriteProtect, WriteUnprotect, ReadoutProtect, ReadoutUnprotect};

quint8 xorOf(const QByteArray &bytes, int from, int to)
{
    quint8 x = 0;
    for (int i = from; i < to; ++i)
        x ^= quint8(bytes.at(i));
    return x;
}

QByteArray bytes(std::initializer_list<quint8> list)
{
    QByteArray out;
    for (quint8 b : list)
        out.append(char(b));
    return out;
}

} // namespace

void BootLoader::enter()
{
    m_state = State::Sync;
    m_pending.clear();
    m_go = false;
}

bool BootLoader::takeGo(quint32 *address)
{
    if (!m_go)
        return false;
    m_go = false;
    if (address)
        *address = m_goAddress;
    return true;
}

bool BootLoader::dump(const QString &path, QString *error) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(m_flash) != m_flash.size()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString BootLoader::commandName() const
{
    switch (m_command) {
    case Get: return QStringLiteral("get");
    case GetVersion: return QStringLiteral("get-version");
    case GetId: return QStringLiteral("get-id");
    case ReadMemory: return QStringLiteral("read");
    case Go: return QStringLiteral("go");
    case WriteMemory: return QStringLiteral("write");
    case Erase: return QStringLiteral("erase");
    case WriteProtect: return QStringLiteral("write-protect");
    case WriteUnprotect: return QStringLiteral("write-unprotect");
    case ReadoutProtect: return QStringLiteral("readout-protect");
    case ReadoutUnprotect: return QStringLiteral("readout-unprotect");
    default: return QStringLiteral("unknown");
    }
}

bool BootLoader::inFlash(quint32 address, int length) const
{
    return address >= FlashBase && length >= 0 && quint64(address) - FlashBase + quint64(length) <= quint64(FlashSize);
}

// Bytes the frame of the current stage takes; the data and erase frames say
// their length in their first byte.
int BootLoader::needed() const
{
    switch (m_state) {
    case State::Sync: return 1;
    case State::Command: return 2;
    case State::Address: return 5;
    case State::Count: return 2;
    case State::Data:
        return m_pending.isEmpty() ? 1 : quint8(m_pending.at(0)) + 3;
    case State::List:
        if (m_pending.isEmpty())
            return 1;
        return quint8(m_pending.at(0)) == 0xFF ? 2 : quint8(m_pending.at(0)) + 3;
    }
    return 1;
}

QVector<BootLoader::Exchange> BootLoader::feed(const QByteArray &in, qint64 nowMs)
{
    QVector<Exchange> out;
    Exchange ignored;
    ignored.command = QStringLiteral("ignored");
    ignored.note = QStringLiteral("waiting for 0x7F");
    auto flushIgnored = [&] {
        if (!ignored.in.isEmpty())
            out.append(ignored);
        ignored.in.clear();
    };
    for (char c : in) {
        if (!m_pending.isEmpty() && nowMs - m_lastByteMs > AbandonMs) {
            Exchange e;
            e.command = commandName();
            e.stage = QStringLiteral("abandoned");
            e.in = m_pending;
            e.note = QStringLiteral("frame left unfinished; waiting for a command");
            out.append(e);
            m_pending.clear();
            m_state = State::Command;
        }
        m_lastByteMs = nowMs;
        if (m_state == State::Sync && quint8(c) != 0x7F) {
            ignored.in.append(c);
            continue;
        }
        m_pending.append(c);
        if (m_pending.size() < needed())
            continue;
        flushIgnored();
        const QByteArray frame = m_pending;
        m_pending.clear();
        out.append(step(frame));
    }
    flushIgnored();
    return out;
}

BootLoader::Exchange BootLoader::refuse(Exchange e, const QString &why)
{
    e.out.append(char(Nack));
    e.note = why;
    m_state = State::Command;
    return e;
}

BootLoader::Exchange BootLoader::step(const QByteArray &frame)
{
    switch (m_state) {
    case State::Sync: {
        Exchange e;
        e.command = QStringLiteral("sync");
        e.stage = QStringLiteral("command");
        e.in = frame;
        e.out = bytes({Ack});
        m_state = State::Command;
        return e;
    }
    case State::Command: return onCommand(frame);
    case State::Address: return onAddress(frame);
    case State::Count: return onCount(frame);
    case State::Data: return onData(frame);
    case State::List: return onList(frame);
    }
    return Exchange();
}

BootLoader::Exchange BootLoader::onCommand(const QByteArray &frame)
{
    m_command = quint8(frame.at(0));
    Exchange e;
    e.command = commandName();
    e.stage = QStringLiteral("command");
    e.in = frame;
    if ((quint8(frame.at(0)) ^ quint8(frame.at(1))) != 0xFF)
        return refuse(e, QStringLiteral("second byte is not the complement"));
    const bool known = std::find(std::begin(Commands), std::end(Commands), m_command) != std::end(Commands);
    if (!known)
        return refuse(e, QStringLiteral("unknown command"));
    const bool needsAccess = m_command == ReadMemory || m_command == WriteMemory || m_command == Go
                             || m_command == Erase || m_command == WriteProtect;
    if (needsAccess && m_readProtected)
        return refuse(e, QStringLiteral("readout protection is on"));

    switch (m_command) {
    case Get:
        e.out = bytes({Ack, quint8(sizeof Commands), Version});
        for (quint8 code : Commands)
            e.out.append(char(code));
        e.out.append(char(Ack));
        break;
    case GetVersion:
        e.out = bytes({Ack, Version, 0x00, 0x00, Ack});
        break;
    case GetId:
        e.out = bytes({Ack, 0x01, quint8(ProductId >> 8), quint8(ProductId), Ack});
        break;
    case ReadMemory:
    case WriteMemory:
    case Go:
        e.out = bytes({Ack});
        m_state = State::Address;
        return e;
    case Erase:
        e.out = bytes({Ack});
        m_state = State::List;
        return e;
    case WriteProtect:
        e.out = bytes({Ack});
        m_state = State::Data;
        return e;
    case WriteUnprotect:
        // Each of these ends in a system reset: the boot loader starts over.
        e.out = bytes({Ack, Ack});
        e.note = QStringLiteral("write protection off; reset");
        m_state = State::Sync;
        return e;
    case ReadoutProtect:
        e.out = bytes({Ack, Ack});
        m_readProtected = true;
        e.note = QStringLiteral("readout protection on; reset");
        m_state = State::Sync;
        return e;
    case ReadoutUnprotect:
        e.out = bytes({Ack, Ack});
        m_readProtected = false;
        m_flash.fill(char(0xFF));
        e.note = QStringLiteral("flash mass-erased, readout protection off; reset");
        m_state = State::Sync;
        return e;
    }
    m_state = State::Command;
    return e;
}

BootLoader::Exchange BootLoader::onAddress(const QByteArray &frame)
{
    Exchange e;
    e.command = commandName();
    e.stage = QStringLiteral("address");
    e.in = frame;
    m_address = (quint32(quint8(frame.at(0))) << 24) | (quint32(quint8(frame.at(1))) << 16)
                | (quint32(quint8(frame.at(2))) << 8) | quint32(quint8(frame.at(3)));
    e.address = m_address;
    if (xorOf(frame, 0, 4) != quint8(frame.at(4)))
        return refuse(e, QStringLiteral("address checksum wrong"));
    if (!inFlash(m_address, 1))
        return refuse(e, QStringLiteral("address outside the flash"));
    e.out = bytes({Ack});
    if (m_command == Go) {
        m_go = true;
        m_goAddress = m_address;
        e.note = QStringLiteral("jump to the firmware");
        m_state = State::Sync;
    } else {
        m_state = m_command == ReadMemory ? State::Count : State::Data;
    }
    return e;
}

BootLoader::Exchange BootLoader::onCount(const QByteArray &frame)
{
    Exchange e;
    e.command = commandName();
    e.stage = QStringLiteral("count");
    e.in = frame;
    e.address = m_address;
    if ((quint8(frame.at(0)) ^ quint8(frame.at(1))) != 0xFF)
        return refuse(e, QStringLiteral("count checksum wrong"));
    const int length = quint8(frame.at(0)) + 1;
    e.count = length;
    if (!inFlash(m_address, length))
        return refuse(e, QStringLiteral("read runs past the flash"));
    e.out = bytes({Ack}) + m_flash.mid(int(m_address - FlashBase), length);
    m_state = State::Command;
    return e;
}

BootLoader::Exchange BootLoader::onData(const QByteArray &frame)
{
    Exchange e;
    e.command = commandName();
    e.stage = QStringLiteral("data");
    e.in = frame;
    const int length = quint8(frame.at(0)) + 1;
    e.count = length;
    if (xorOf(frame, 0, frame.size() - 1) != quint8(frame.at(frame.size() - 1)))
        return refuse(e, QStringLiteral("data checksum wrong"));
    if (m_command == WriteProtect) {
        e.out = bytes({Ack, Ack});
        e.note = QStringLiteral("write protection set; reset");
        m_state = State::Sync;
        return e;
    }
    e.address = m_address;
    if (!inFlash(m_address, length))
        return refuse(e, QStringLiteral("write runs past the flash"));
    const int at = int(m_address - FlashBase);
    // Programming only clears bits: a place not erased cannot take new data.
    for (int i = 0; i < length; ++i) {
        const quint8 old = quint8(m_flash.at(at + i));
        const quint8 value = quint8(frame.at(1 + i));
        if ((old & value) != value)
            return refuse(e, QStringLiteral("flash at 0x%1 not erased").arg(m_address + quint32(i), 8, 16, QLatin1Char('0')));
    }
    m_flash.replace(at, length, frame.mid(1, length));
    e.out = bytes({Ack});
    m_state = State::Command;
    return e;
}

BootLoader::Exchange BootLoader::onList(const QByteArray &frame)
{
    Exchange e;
    e.command = commandName();
    e.stage = QStringLiteral("list");
    e.in = frame;
    if (quint8(frame.at(0)) == 0xFF) {
        if (quint8(frame.at(1)) != 0x00)
            return refuse(e, QStringLiteral("mass erase checksum wrong"));
        m_flash.fill(char(0xFF));
        e.count = FlashSize / PageSize;
        e.note = QStringLiteral("mass erase");
    } else {
        if (xorOf(frame, 0, frame.size() - 1) != quint8(frame.at(frame.size() - 1)))
            return refuse(e, QStringLiteral("erase list checksum wrong"));
        const int pages = quint8(frame.at(0)) + 1;
        for (int i = 0; i < pages; ++i) {
            const int page = quint8(frame.at(1 + i));
            if (page >= FlashSize / PageSize)
                return refuse(e, QStringLiteral("page %1 outside the flash").arg(page));
        }
        for (int i = 0; i < pages; ++i)
            m_flash.replace(quint8(frame.at(1 + i)) * PageSize, PageSize, QByteArray(PageSize, char(0xFF)));
        e.count = pages;
    }
    e.out = bytes({Ack});
    m_state = State::Command;
    return e;
}

FlashCommand parseFlashCommand(const QString &line)
{
    FlashCommand c;
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return c;
    const QString verb = words[0].toLower();
    if (verb == QLatin1String("flash-switch")) {
        const QString arg = words.size() == 2 ? words[1].toLower() : QString();
        if (arg == QLatin1String("on") || arg == QLatin1String("off")) {
            c.verb = FlashCommand::Switch;
            c.on = arg == QLatin1String("on");
        } else {
            c.verb = FlashCommand::Invalid;
            c.error = QStringLiteral("flash-switch takes on or off");
        }
    } else if (verb == QLatin1String("flash-dump")) {
        // The file name is the rest of the line, blanks included.
        const QString rest = line.trimmed().mid(words[0].size()).trimmed();
        if (rest.isEmpty()) {
            c.verb = FlashCommand::Invalid;
            c.error = QStringLiteral("flash-dump needs a file name");
        } else {
            c.verb = FlashCommand::Dump;
            c.path = rest;
        }
    }
    return c;
}

QString flashHelpText()
{
    return QStringLiteral(
        "  flash-switch on|off  the board's flash switch, read at every restart: on restarts\n"
        "                       the board into its boot loader at once, off restarts a board\n"
        "                       that sits in its boot loader into normal operation\n"
        "  flash-dump FILE      write the 256 KB flash (from 0x08000000) to FILE\n");
}

} // namespace sim
