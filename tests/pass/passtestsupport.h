#pragma once
// Shared set-up of the pass-planning tests: a known station, a recording view,
// collected log lines, scripted dialogs, a fake clock and the records the
// window owns, fresh for every test.
#include "clock.h"
#include "controllerlink.h"
#include "controllertransport.h"
#include "dialogs.h"
#include "eventsink.h"
#include "frames.h"
#include "linkstate.h"
#include "passenv.h"
#include "passplan.h"
#include "recordingpassview.h"
#include "settings.h"
#include "skypanel.h"

#include <QStringList>
#include <QtEndian>
#include <QtTest>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>

namespace passtest {

inline constexpr double Deg = M_PI / 180.0;

// Local time three hours ahead of UTC for the whole test program.
inline void useZonePlus3()
{
    qputenv("TZ", "Etc/GMT-3");
    tzset();
}

// The controller's end of the wire for tests that look only at what was sent:
// always open, keeps every write, never has anything to read.
class RecordingTransport : public ControllerTransport
{
public:
    QList<QByteArray> written;

    quint8 open() override { return 0; }
    QString openError() const override { return {}; }
    bool isOpened() const override { return true; }
    qint64 write(const QByteArray &bytes) override
    {
        written.append(bytes);
        return bytes.size();
    }
    qint64 read(char *, qint64) override { return 0; }
    qint64 bytesAvailable() const override { return 0; }
    void clearInput() override {}
    bool dropIfHungUp() override { return false; }
};

struct Harness
{
    RecordingPassView view;
    ScriptedDialogs dialogs;
    FakeClock clock{QDateTime(QDate(2020, 5, 12), QTime(7, 0, 0), Qt::UTC)};
    QStringList log;

    StationSettingsRecord settings;
    PassPlanRecord plan;
    SkyDrawState sky;
    bool serviceMode = false;
    qint16 utcOffsetHours = 0;
    LinkState linkState;
    QByteArray txFrame;
    QByteArray txBytes;
    QByteArray lastUploadBytes;
    RecordingTransport transport;
    std::unique_ptr<ControllerLink> link; // on the buffers above, through transport

    // Taken at each call, so that it sees serviceMode as the test set it.
    PassEnv env() { return PassEnv{settings, sky, serviceMode, utcOffsetHours}; }

    void install()
    {
        settings = StationSettingsRecord();
        settings.Focus = 1400;
        settings.Radius = 500;
        settings.HalfRadius = 250;
        settings.korr = 1.0;
        plan = PassPlanRecord();
        sky = SkyDrawState();
        serviceMode = false;
        utcOffsetHours = 3;
        link.reset();
        linkState = LinkState();
        txFrame = QByteArray(TxFrameSize, '\0');
        txBytes.clear();
        lastUploadBytes.clear();
        transport.written.clear();
        link = std::make_unique<ControllerLink>(linkState, txFrame, txBytes, lastUploadBytes);
        link->setTransport(&transport);
        view = RecordingPassView();
        dialogs = ScriptedDialogs();
        log.clear();
        pass::setView(&view);
        platform::setDialogs(&dialogs);
        platform::setClock(&clock);
        eventsink::set([this](const QString &line) { log.append(line); });
    }

    void uninstall()
    {
        setSkyPanel(nullptr);
        pass::setView(nullptr);
        platform::setDialogs(nullptr);
        platform::setClock(nullptr);
        eventsink::set({});
        link.reset();
    }

    QString unexpectedPrompts() const { return dialogs.unexpected().join(QLatin1Char('|')); }
};

// A point line with the columns at their fixed positions.
inline QByteArray pointLine(int azDeg, int azMin, int elDeg, int elMin)
{
    return QString::asprintf("00:00:00   %3d %02d   %3d %02d", azDeg, azMin, elDeg, elMin).toLatin1();
}

inline QByteArray header(const QByteArray &satellite = "SAT-1", const QByteArray &orbit = "100",
                         const QByteArray &start = "2020-05-12 10:00:00")
{
    return "Satellite: " + satellite + "\nStart date & time: " + start + " UTC\nOrbit: " + orbit
        + "\n\n Time       Azim     Elev\n\n";
}

// A whole track file: header, the point lines, a final line end.
inline QByteArray trackText(const QList<QByteArray> &points, const QByteArray &satellite = "SAT-1",
                            const QByteArray &orbit = "100",
                            const QByteArray &start = "2020-05-12 10:00:00")
{
    QByteArray text = header(satellite, orbit, start);
    for (const QByteArray &p : points)
        text += p + '\n';
    return text;
}

// n points at one elevation, azimuth stepping one degree.
inline QList<QByteArray> points(int n, int elDeg, int azStart = 100)
{
    QList<QByteArray> out;
    for (int i = 0; i < n; ++i)
        out.append(pointLine((azStart + i) % 360, 0, elDeg, 0));
    return out;
}

// Puts a track straight into the plan (azimuth, elevation in degrees).
inline void setTrack(PassPlanRecord &plan, const QVector<double> &azDeg, const QVector<double> &elDeg)
{
    plan.azimuth.clear();
    plan.elevation.clear();
    for (int i = 0; i < azDeg.size(); ++i) {
        plan.azimuth.append(azDeg.at(i) * Deg);
        plan.elevation.append(elDeg.at(i) * Deg);
    }
    plan.pointCount = azDeg.size();
}

// Fields of a sent upload frame.
struct Frame
{
    qint32 code = -1;
    quint16 length = 0;
    qint32 start = 0;
    qint32 sendMs = 0;
    quint16 mode = 0;
    float radius = 0;
    QVector<float> radii, angles;
};

inline float floatAt(const QByteArray &b, int offset)
{
    const quint32 bits = qFromLittleEndian<quint32>(b.constData() + offset);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

inline Frame decode(const QByteArray &b)
{
    Frame f;
    if (b.size() < 26)
        return f;
    f.code = qFromLittleEndian<qint32>(b.constData());
    f.length = qFromLittleEndian<quint16>(b.constData() + 4);
    f.start = qFromLittleEndian<qint32>(b.constData() + 6);
    f.sendMs = qFromLittleEndian<qint32>(b.constData() + 10);
    f.mode = qFromLittleEndian<quint16>(b.constData() + 14);
    f.radius = floatAt(b, 16);
    const int n = (b.size() - 26) / 8;
    for (int k = 0; k < n; ++k) {
        f.radii.append(floatAt(b, 24 + 4 * k));
        f.angles.append(floatAt(b, 24 + 4 * n + 4 * k));
    }
    return f;
}

} // namespace passtest
