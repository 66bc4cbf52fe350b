#include "stationextras.h"

#include "controllerlink.h"
#include "clock.h"
#include "frames.h"
#include "linkstate.h"
#include "passdatastore.h"
#include "passhook.h"
#include "passplan.h"
#include "timers.h"
#include "statusreply.h"

StationExtras::StationExtras(const ExtrasSettings &settings, Log log, const PassDataStore *store,
                             const PassPlanRecord &plan, ControllerLink &link, const QString &stationName,
                             bool serviceMode, QObject *parent)
    : QObject(parent), m_settings(settings), m_log(std::move(log)), m_store(store), m_plan(plan),
      m_link(link)
{
    m_status.station = stationName;
    m_status.serviceMode = serviceMode;
    for (const QString &problem : m_settings.problems)
        m_log(problem);
    if (m_settings.statusFile)
        m_file = std::make_unique<StatusFile>(QLatin1String(StatusFileName));
    if (!m_settings.passHook.trimmed().isEmpty()) {
        m_hook = std::make_unique<PassHook>(m_settings.passHook, m_settings.passHookTimeout,
                                            [this](const QString &line) { m_log(line); });
        connect(m_hook.get(), &PassHook::done, this, [this](bool ok) {
            if (!ok)
                countError();
        });
    }
    if (m_settings.parkAfter >= 0)
        m_park = std::make_unique<ParkPlanner>(m_settings.parkAfter, m_settings.parkUnlessPassWithin);
    if (m_file || m_park) {
        m_beat = platform::newTimer(this);
        connect(m_beat, &platform::Timer::timeout, this, &StationExtras::tick);
        m_beat->start(1000);
        tick();
    }
}

StationExtras::~StationExtras()
{
    // The last word: a reader must not take the state left standing for a live one.
    if (m_file) {
        refreshFromRecords();
        m_status.stopped = true;
        // The log is closed by now ("The end" is its last line): a failure here stays unlogged.
        m_file->update(m_status.toJson(), platform::nowUtc());
    }
}

void StationExtras::logged(const QString &message)
{
    m_status.lastEventUtc = platform::nowUtc();
    m_status.lastEvent = message;
}

void StationExtras::statusShown(const StatusUpdate &u)
{
    m_status.gpsKnown = true;
    m_status.replyWord = u.reply.statusWord;
    m_status.gpsTimeWord = u.reply.timeWord;
    m_status.firmware = QStringLiteral("%1.%2").arg(u.reply.versionMajor).arg(u.reply.versionMinor);
    if (u.linkLabelChanged)
        m_status.linkText = u.linkLabelText;
    const StateChange &c = u.change;
    if (!c.changed)
        return;
    const bool red = c.style == QLatin1String(StyleRed);
    if (red && !(m_status.stateKnown && m_status.stateError))
        countError();
    m_status.stateKnown = true;
    m_status.stateWord = c.word;
    m_status.stateText = c.line;
    m_status.stateError = red;
    if (c.finish) {
        m_finished = true;
        m_finishedStart = m_plan.startUtc;
        if (m_park)
            m_park->passFinished(platform::nowUtc());
    }
}

void StationExtras::linkSupervised(const LinkSupervisionResult &r)
{
    if (r.labelChanged)
        m_status.linkText = r.labelText;
    if (!r.logLine.isEmpty() && r.logLine != QLatin1String("port opened ok"))
        countError();
}

void StationExtras::dataFileWritten(const QString &path, bool written)
{
    if (!written) {
        countError();
        return;
    }
    m_status.lastDataFile = path;
    if (m_hook)
        m_hook->run(path);
}

void StationExtras::shutdown()
{
    if (m_hook)
        m_hook->shutdown();
}

void StationExtras::refreshFromRecords()
{
    m_status.linkAlive = m_link.state().linkWatchdog > 0;
    if (!m_status.linkAlive)
        m_status.firmware.clear();
    // A finished pass stays in the plan until the next one is loaded; it is
    // not the current pass any more.
    if (m_finished && m_plan.startUtc != m_finishedStart)
        m_finished = false;
    m_status.passLoaded = !m_finished && (!m_plan.satellite.isEmpty() || m_plan.pointCount > 0);
    m_status.satellite = m_plan.satellite;
    m_status.orbit = m_plan.orbit;
    m_status.passStartUtc = m_plan.startUtc;
    m_status.reachablePoints = m_plan.reachableCount;
    m_status.uploadPoints = m_plan.uploadPointCount;
    m_status.recordState = m_link.state().recordState;
    m_status.recordedPoints = m_store ? m_store->recordedPoints() : 0;
}

void StationExtras::tick()
{
    refreshFromRecords();
    const QDateTime now = platform::nowUtc();
    if (m_park) {
        ParkPlanner::Station s;
        s.statusWord = m_link.state().statusWord;
        s.uploadRetry = m_link.state().uploadRetry;
        s.linkAlive = m_status.linkAlive;
        if (m_plan.startUtc.isValid())
            s.nextStartUtc = m_plan.startUtc;
        const ParkPlanner::Decision d = m_park->step(now, s);
        if (d.action == ParkPlanner::Park)
            m_link.sendCommand(CmdGoToOrigin);
        if (d.action != ParkPlanner::Nothing)
            m_log(d.logLine);
    }
    if (m_file) {
        QString error;
        const StatusFile::Result r = m_file->update(m_status.toJson(), now, &error);
        // The reason reaches the log once per change, not once a second.
        if (r == StatusFile::Failed && error != m_lastWriteError)
            m_log(QStringLiteral("status.json not written: ") + error);
        if (r != StatusFile::Unchanged)
            m_lastWriteError = r == StatusFile::Failed ? error : QString();
    }
}
