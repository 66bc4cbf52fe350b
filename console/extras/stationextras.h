#pragma once
#include "extrassettings.h"
#include "parkplanner.h"
#include "stationstatus.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class ControllerLink;
class PassDataStore;
struct PassPlanRecord;
namespace platform { class Timer; }
class PassHook;
struct StatusUpdate;
struct LinkSupervisionResult;

// The extras for unattended stations, each off unless extras.ini turns it on:
// the live status file, the command after each data file, parking after a pass.
// The window feeds it what it shows and logs; it keeps its own one-second beat.
class StationExtras : public QObject
{
    Q_OBJECT

public:
    using Log = std::function<void(const QString &)>;
    // What the station shows is read from the window's plan and link.
    StationExtras(const ExtrasSettings &settings, Log log, const PassDataStore *store,
                  const PassPlanRecord &plan, ControllerLink &link, const QString &stationName,
                  bool serviceMode, QObject *parent = nullptr);
    ~StationExtras() override;

    // From the window.
    void logged(const QString &message);
    void statusShown(const StatusUpdate &update);
    void linkSupervised(const LinkSupervisionResult &result);
    void dataFileWritten(const QString &path, bool written);

    // The one-second step: status file and parking.
    void tick();
    // The console is ending: what the hook left running is ended and logged.
    void shutdown();

    const StationStatus &status() const { return m_status; }
    const ExtrasSettings &settings() const { return m_settings; }
    PassHook *hook() const { return m_hook.get(); }

    static constexpr const char StatusFileName[] = "status.json";

private:
    void countError() { ++m_status.errors; }
    void refreshFromRecords();

    ExtrasSettings m_settings;
    Log m_log;
    const PassDataStore *m_store;
    const PassPlanRecord &m_plan;
    ControllerLink &m_link;
    StationStatus m_status;
    std::unique_ptr<StatusFile> m_file;
    std::unique_ptr<PassHook> m_hook;
    std::unique_ptr<ParkPlanner> m_park;
    platform::Timer *m_beat = nullptr;
    QString m_lastWriteError;
    QDateTime m_finishedStart; // start of the pass that has finished; it no longer shows as loaded
    bool m_finished = false;
};
