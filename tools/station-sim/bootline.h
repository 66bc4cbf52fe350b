#pragma once
#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <functional>

class QTimer;

namespace sim {

// One direction of a serial line: bytes handed over queue behind each other
// and each is through one byte time after it started. Times in microseconds.
class LineLane
{
public:
    explicit LineLane(double byteUs) : m_byteUs(byteUs) {}
    void push(double nowUs, const QByteArray &bytes);
    // The bytes whose last bit has crossed the line by now, in order.
    QByteArray takeDue(double nowUs);
    // When the next byte is through; negative when nothing is on the line.
    double nextDueUs() const;
    bool isEmpty() const { return m_chunks.isEmpty(); }
    void clear();

private:
    struct Chunk
    {
        double startUs;
        QByteArray bytes;
    };
    double m_byteUs;
    double m_freeUs = 0; // when the line is free for the next byte
    QList<Chunk> m_chunks;
};

// The boot loader's line at 9600 baud, 8 data bits, even parity, one stop bit
// (11 bits a byte), both ways: what the programmer writes reaches the boot
// loader only once it would have crossed the line, and the answers go out a
// byte time apart. Unpaced, bytes pass straight through.
class BootLine : public QObject
{
    Q_OBJECT
public:
    static constexpr double ByteMicroseconds = 1e6 * 11.0 / 9600.0;

    BootLine(bool paced, std::function<void(const QByteArray &)> write, QObject *parent = nullptr);
    void receive(const QByteArray &bytes);  // from the programmer
    void transmit(const QByteArray &bytes); // to the programmer
    // A restart: whatever was on the line is lost.
    void clear();

signals:
    void arrived(const QByteArray &bytes);

private:
    void step();
    double nowUs() const { return double(m_clock.nsecsElapsed()) / 1000.0; }

    bool m_paced;
    std::function<void(const QByteArray &)> m_write;
    QElapsedTimer m_clock;
    LineLane m_in{ByteMicroseconds};
    LineLane m_out{ByteMicroseconds};
    QTimer *m_timer = nullptr;
};

} // namespace sim
