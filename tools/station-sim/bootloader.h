#pragma once
#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// The boot loader of the controller's microcontroller: the STM32 USART boot
// loader protocol (Get, Get Version, Get ID, Read Memory, Write Memory, Erase,
// Go and the four protection commands) over a byte stream, with the flash it
// programs. Bytes in, bytes out; the board decides when it runs.
namespace sim {

class BootLoader
{
public:
    static constexpr quint32 FlashBase = 0x08000000;
    static constexpr int FlashSize = 256 * 1024;
    static constexpr int PageSize = 1024;
    static constexpr quint8 Ack = 0x79;
    static constexpr quint8 Nack = 0x1F;
    static constexpr quint8 Version = 0x22;
    static constexpr quint16 ProductId = 0x0414;
    // A frame left unfinished this long is dropped when the next byte comes.
    static constexpr qint64 AbandonMs = 1000;

    // One step of the exchange: what came in and what went back.
    struct Exchange
    {
        QString command; // sync, get, get-version, get-id, read, write, erase, go,
                         // write-protect, write-unprotect, readout-protect,
                         // readout-unprotect, unknown, ignored, abandoned
        QString stage;   // command, address, count, data, list
        QByteArray in;
        QByteArray out;
        qint64 address = -1;
        int count = -1;  // bytes read or written, pages erased (-1: none)
        QString note;    // why it was refused, or what happened
    };

    BootLoader() { m_flash.fill(char(0xFF), FlashSize); }

    // A restart into the boot loader: it waits for 0x7F again. The flash and
    // the protection stay.
    void enter();
    bool isSynced() const { return m_state != State::Sync; }

    QVector<Exchange> feed(const QByteArray &bytes, qint64 nowMs);
    // True once after an acknowledged Go, with the address jumped to.
    bool takeGo(quint32 *address);

    const QByteArray &flash() const { return m_flash; }
    bool readProtected() const { return m_readProtected; }
    bool dump(const QString &path, QString *error) const;

private:
    enum class State { Sync, Command, Address, Count, Data, List };

    int needed() const;
    Exchange step(const QByteArray &frame);
    Exchange onCommand(const QByteArray &frame);
    Exchange onAddress(const QByteArray &frame);
    Exchange onCount(const QByteArray &frame);
    Exchange onData(const QByteArray &frame);
    Exchange onList(const QByteArray &frame);
    Exchange refuse(Exchange e, const QString &why);
    QString commandName() const;
    bool inFlash(quint32 address, int length) const;

    State m_state = State::Sync;
    quint8 m_command = 0;
    quint32 m_address = 0;
    QByteArray m_pending;
    qint64 m_lastByteMs = 0;
    bool m_go = false;
    quint32 m_goAddress = 0;
    bool m_readProtected = false;
    QByteArray m_flash;
};

// The control commands of the flash: "flash-switch on|off", "flash-dump FILE".
struct FlashCommand
{
    enum Verb { None, Switch, Dump, Invalid };
    Verb verb = None;   // None: not a flash command
    bool on = false;
    QString path;
    QString error;
};
FlashCommand parseFlashCommand(const QString &line);
QString flashHelpText();

} // namespace sim
