#include "stationworld.h"

#include "clock.h"
#include "settings.h"
#include "timers.h"
#include "tuv.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStatusBar>
#include <QtEndian>
#include <ctime>

const QDateTime StationWorld::Start = QDateTime(QDate(2026, 12, 8), QTime(12, 0, 0, 400), Qt::UTC);

StationWorld::StationWorld()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no scratch folder");
        return;
    }
    m_oldDir = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    QDir().mkpath(QStringLiteral("track"));
    qputenv("TZ", "UTC");
    tzset();
    platform::setScreenMetrics(&m_screen);
    platform::setDialogs(&m_dialogs);
    // The clock first: the board and the window make their timers on it.
    m_clock.install();
    m_board = std::make_unique<FakeController>();
    m_ready = true;
}

StationWorld::~StationWorld()
{
    close();
    m_board.reset();
    platform::setDialogs(nullptr);
    platform::setScreenMetrics(nullptr);
    if (!m_oldDir.isEmpty())
        QDir::setCurrent(m_oldDir);
}

bool StationWorld::open(const SettingChanges &changes, bool serviceMode)
{
    QByteArray text = exampleSettingsText();
    const SettingChanges fixed = {{"TrackPath", "track/Track.txt"},
                                  {"Port", QByteArray::number(Port)},
                                  {"TimeCorr", "disable"}, // never the machine's clock
                                  {"Demodulator", "disable"}};
    for (const auto &change : fixed + changes) {
        const QByteArray key = change.first + "\r\n";
        const int at = text.indexOf(key);
        if (at < 0) {
            m_error = QStringLiteral("no setting ") + QString::fromLatin1(change.first);
            return false;
        }
        const int from = at + key.size();
        text.replace(from, text.indexOf("\r\n", from) - from, change.second);
    }
    StationSettingsRecord settings;
    if (loadSettingsFromBytes(settings, text) != 0) {
        m_error = QStringLiteral("settings refused");
        return false;
    }
    m_window = std::make_unique<tuv>(settings, serviceMode, m_board.get());
    m_window->show();
    return true;
}

void StationWorld::close()
{
    m_window.reset();
}

void StationWorld::advance(qint64 ms)
{
    if (m_everyStep)
        advanceUntil({}, ms);
    else
        m_clock.advance(ms);
}

bool StationWorld::advanceUntil(const std::function<bool()> &predicate, qint64 maxMs)
{
    if (!m_everyStep)
        return m_clock.advanceUntil(predicate, maxMs);
    return m_clock.advanceUntil(
        [&] {
            m_everyStep();
            return predicate && predicate();
        },
        maxMs);
}

bool StationWorld::waitLinkUp(qint64 maxMs)
{
    return advanceUntil([this] { return linkLabel() && linkLabel()->text().startsWith(QLatin1String("Ver. ")); },
                        maxMs);
}

QStringList StationWorld::entryMessages(const QString &text)
{
    // Marker ("**", "  *" or two blanks), "dd-MM-yy hh:mm:ss", two blanks, the message.
    static const QRegularExpression entry(
        QStringLiteral("^(?:\\*\\*|  \\*|  )\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  (.*)$"));
    QStringList out;
    for (const QString &line : text.split(QStringLiteral("\r\n"))) {
        const QRegularExpressionMatch m = entry.match(line);
        if (m.hasMatch())
            out << m.captured(1);
    }
    return out;
}

QByteArray StationWorld::logText() const
{
    QFile f(QStringLiteral("tuvarn.log"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList StationWorld::logMessages() const
{
    return entryMessages(QString::fromLatin1(logText()));
}

QStringList StationWorld::paneMessages() const
{
    auto *area = m_window ? m_window->findChild<QScrollArea *>(QStringLiteral("LogscrollArea")) : nullptr;
    auto *pane = area ? qobject_cast<QLabel *>(area->widget()) : nullptr;
    return pane ? entryMessages(pane->text()) : QStringList();
}

namespace {
QLabel *statusBarLabel(tuv *w, int index)
{
    if (!w)
        return nullptr;
    const QList<QLabel *> labels = w->statusBar()->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    return index < labels.size() ? labels.at(index) : nullptr;
}
} // namespace

QLabel *StationWorld::settingsLabel() const { return statusBarLabel(m_window.get(), 0); }
QLabel *StationWorld::gpsLabel() const { return statusBarLabel(m_window.get(), 1); }
QLabel *StationWorld::infoLabel() const { return statusBarLabel(m_window.get(), 2); }
QLabel *StationWorld::stateLabel() const { return statusBarLabel(m_window.get(), 3); }
QLabel *StationWorld::linkLabel() const { return statusBarLabel(m_window.get(), 4); }

QByteArray StationWorld::statusRequestFrame()
{
    QByteArray frame(4, '\0');
    qToLittleEndian<qint32>(11, frame.data());
    return frame;
}

int StationWorld::statusRequests() const
{
    return int(m_board->receivedFrames().count(statusRequestFrame()));
}

QList<QByteArray> StationWorld::uploads() const
{
    QList<QByteArray> out;
    for (const QByteArray &frame : m_board->receivedFrames())
        if (frame.size() > 24 && qFromLittleEndian<qint32>(frame.constData()) == 0)
            out << frame;
    return out;
}

bool StationWorld::writeTrack(const QDateTime &startUtc, int points, int elevationDeg,
                              const QByteArray &satellite, const QByteArray &orbit)
{
    QByteArray text = "Satellite: " + satellite + "\nStart date & time: "
        + startUtc.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toLatin1() + " UTC\nOrbit: " + orbit
        + "\n\n Time       Azim     Elev\n\n";
    for (int i = 0; i < points; ++i) {
        const QTime t = startUtc.addSecs(i).time();
        text += QString::asprintf("%02d:%02d:%02d   %3d %02d   %3d %02d\n", t.hour(), t.minute(), t.second(),
                                  (100 + i) % 360, 0, elevationDeg, 0)
                    .toLatin1();
    }
    // Whole or not at all, as the prediction program leaves it.
    QFile f(QStringLiteral("track/Track.tmp"));
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        return false;
    f.close();
    QFile::remove(QStringLiteral("track/Track.txt"));
    return QFile::rename(QStringLiteral("track/Track.tmp"), QStringLiteral("track/Track.txt"));
}
