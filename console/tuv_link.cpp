// The main cycle, the controller's replies and the demodulator: the window's
// side of the controller link.
#include "tuv.h"
#include "ui_tuv.h"

#include "appstate.h"
#include "controllerlink.h"
#include "controllertransport.h"
#include "correction.h"
#include "datafilenaming.h"
#include "demodlink.h"
#include "frames.h"
#include "linkstate.h"
#include "passdatastore.h"
#include "passjournal.h"
#include "passplan.h"
#include "passtiming.h"
#include "pointing.h"
#include "rs.h"
#include "settings.h"
#include "settingslabel.h"
#include "skypanel.h"
#include "stationextras.h"
#include "trackfile.h"
#include "clock.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>
#include <cmath>
#include <limits>

namespace {
// The feed radius of reachable point a shifted k mm across the chord to b;
// NaN (no radius limit) for points the plan does not hold.
OffsetAcrossTrackFn offsetForCorrection(const PassPlanRecord &plan)
{
    return [&plan](int a, int b, int k) {
        const int n = plan.feedRadius.size();
        if (a < 0 || b < 0 || a >= n || b >= n || a == b)
            return std::numeric_limits<float>::quiet_NaN();
        return offsetAcrossTrack(plan, quint16(a), quint16(b), qint8(k));
    };
}

QVector<float> feedRadiusAsFloat(const PassPlanRecord &plan)
{
    QVector<float> out;
    out.reserve(plan.feedRadius.size());
    for (double r : plan.feedRadius)
        out.append(float(r));
    return out;
}

JournalPass journalPass(const PassPlanRecord &plan)
{
    const int first = plan.firstReachable;
    return {plan.satellite, plan.orbit, plan.feedRadius, plan.feedAngle,
            plan.azimuth.mid(first), plan.elevation.mid(first)};
}
}

void tuv::SenDat()
{
    m_link->resendTxBytes();
}

void tuv::TimerUpdate()
{
    // Every 100 ms: the recording step and the power request.
    switch (advanceRecordState(m_state.linkState)) {
    case RecordStep::StartRecording:
        m_store->start();
        initCorrection(m_state.correctionState, m_state.StationSettings, offsetForCorrection(m_state.PassPlan),
                       feedRadiusAsFloat(m_state.PassPlan));
        m_journal->begin(journalPass(m_state.PassPlan), m_store->noiseLevel(), passDataFileTitle());
        break;
    case RecordStep::ClearStore:
        m_store->clear();
        m_journal->cleared();
        break;
    case RecordStep::None:
        break;
    }
    if (m_state.linkState.recordState != 0)
        m_state.linkState.lastDemodResult = m_demod->sendPowerRequest();

    // Once per second from here on.
    if (!cycleSecondDue(m_state.linkState))
        return;
    const FlashCycleStep flash = flashCycleStep(m_state.linkState);
    if (flash.suspended) {
        if (flash.emitDelalay)
            emit delalay();
        return;
    }
    if (takeNoiseLevelNow(m_state.linkState)) {
        const float noise = m_store->closePoint();
        m_store->setNoiseLevel(noise);
        m_journal->noiseLevel(noise);
        setCorrectionNoiseLevel(m_state.correctionState, noise);
    }
    if (m_state.linkState.recordState == 0)
        checkDemodulator();
    superviseLinkStep();
    retryPendingDataFiles();

    const UploadSupervisionResult upload = superviseUpload(
        *m_link, m_state.serviceMode, [this] { return autoLoadTrack(m_state.PassPlan, passEnv()); },
        [this] { return passStartState(m_state.PassPlan); }, [this] { return uploadAutomatically(); });
    for (const QString &line : upload.logLines)
        logEvent(line);
}

int tuv::uploadAutomatically()
{
    if (pass::uploadScheduledPass(m_state.PassPlan, *m_link, passEnv()) != 0)
        return AttemptRefused;
    return m_link->lastUploadWritten() ? AttemptWritten : AttemptNotWritten;
}

void tuv::checkDemodulator()
{
    QString status;
    bool rewrite = false;
    m_state.linkState.lastDemodResult = m_demod->checkDemodulator(m_state.StationSettings, &status, &rewrite);
    if (rewrite)
        settingsLabel->setText(settingsLabelText(settingsSummary, status));
}

void tuv::superviseLinkStep()
{
    // Checked every second, not only when the link is down, so a dead terminal
    // is let go at once.
    ControllerTransport &port = *m_link->transport();
    port.dropIfHungUp();
    const LinkSupervisionResult r = superviseLink(m_state.linkState, port, quint16(m_state.StationSettings.Port));
    if (r.labelChanged) {
        linkLabel->setStyleSheet(r.labelStyle);
        linkLabel->setText(r.labelText);
    }
    if (r.blankStatusLabels) {
        gpsLabel->clear();
        infoLabel->clear();
        stateLabel->clear();
        ui->Azim_name->clear();
        ui->NorthCorrZ->clear();
        ui->ParallCorrZ->clear();
        ui->Azimuth->clear();
    }
    if (m_extras)
        m_extras->linkSupervised(r);
    if (!r.logLine.isEmpty())
        logEvent(r.logLine);
    if (!r.reasonLine.isEmpty())
        logEvent(r.reasonLine);
}

void tuv::received(const ParsedReception &reception)
{
    if (reception.type == ParsedReception::Correction)
        answerCorrection();
    else if (reception.type == ParsedReception::Status)
        showStatus(reception.update);
}

void tuv::answerCorrection()
{
    if (!correctionWanted(m_state.linkState, m_state.correctionState, m_state.PassPlan.uploadPointCount))
        return;
    const float power = m_store->closePoint();
    ui->RealTime->setText(realTimeText(m_state.correctionState, power));
    const qint8 offset = nextCorrection(m_state.correctionState, m_state.StationSettings, power,
                                        m_state.linkState.pointIndex, offsetForCorrection(m_state.PassPlan));
    m_link->sendCorrectionByte(offset);
    const int points = m_store->addPoint(m_state.linkState.byte10Offset, offset, qint16(m_state.linkState.pointIndex),
                                         m_state.correctionState.xValue);
    m_state.correctionState.pointsRecorded = qint16(points);
    if (points > 0)
        m_journal->point(*m_store, quint32(points - 1), passDataFileTitle(), platform::nowLocal());
}

void tuv::showStatus(const StatusUpdate &u)
{
    if (m_extras)
        m_extras->statusShown(u);
    if (u.kind.northCorrZ)
        ui->NorthCorrZ->setText(*u.kind.northCorrZ);
    if (u.kind.parallCorrZ)
        ui->ParallCorrZ->setText(*u.kind.parallCorrZ);
    if (u.kind.azimuth)
        ui->Azimuth->setText(*u.kind.azimuth);
    if (m_state.serviceMode)
        ui->vexa41->setText(u.vexa41Text);

    gpsLabel->setStyleSheet(u.gps.label.style);
    gpsLabel->setText(u.gps.label.text);
    gpsLabel->adjustSize();
    infoLabel->setText(u.gps.infoText);
    if (!u.gps.clockLogLine.isEmpty())
        logEvent(u.gps.clockLogLine);

    if (u.tracking) {
        m_state.SkyDraw.drawOffset = u.drawOffset;
        m_sky->setTrackingPen();
        m_sky->drawSegment(u.pointIndex);
    }
    if (u.linkLabelChanged) {
        linkLabel->setStyleSheet(u.linkLabelStyle);
        linkLabel->setText(u.linkLabelText);
    }

    const StateChange &c = u.change;
    if (!c.changed)
        return;
    for (const QString &line : c.logLines)
        logEvent(line);
    if (c.manualButtonsEnabled) {
        const bool on = *c.manualButtonsEnabled;
        ui->Forward->setEnabled(on);
        ui->Back->setEnabled(on);
        ui->Left->setEnabled(on);
        ui->Right->setEnabled(on);
    }
    if (c.modeBoxesEnabled) {
        const bool on = *c.modeBoxesEnabled;
        ui->Feedback->setEnabled(on && m_state.StationSettings.Demodulator);
        ui->ScanMode->setEnabled(on);
        ui->ScanModeFB->setEnabled(on);
    }
    stateLabel->setStyleSheet(c.style);
    ui->TrackInfo->setStyleSheet(c.style);
    stateLabel->setText(c.labelText);
    if (u.writeDataFile)
        writePassDataFile();
    else if (c.finish)
        m_journal->finished();
}

void tuv::writePassDataFile()
{
    const int first = m_state.PassPlan.firstReachable;
    const QString name = LogfilenamePrepare();
    const QString title = passDataFileTitle();
    const QVector<double> azimuth = m_state.PassPlan.azimuth.mid(first);
    const QVector<double> elevation = m_state.PassPlan.elevation.mid(first);
    QString error;
    const int result = m_store->writeDataFile(QStringLiteral("data"), name, title, m_state.PassPlan.feedRadius,
                                              m_state.PassPlan.feedAngle, azimuth, elevation, &error);
    if (result == PassDataStore::WriteFailed) {
        logEvent(QStringLiteral("data file not written: ") + error);
        // Kept and written once the folder takes it again; the store is
        // reused by the next pass.
        const QString path = QStringLiteral("data") + QDir::separator() + name;
        if (QFileInfo(name).fileName() == name && !name.contains(QLatin1Char('\\'))) {
            const QString dropped = m_pendingDataFiles.add(
                path,
                QFileInfo::exists(path) ? QByteArray()
                                        : m_store->dataFileText(title, m_state.PassPlan.feedRadius, m_state.PassPlan.feedAngle),
                QFileInfo::exists(path + QStringLiteral(".ai")) ? QByteArray()
                                                                : m_store->companionFileText(azimuth, elevation));
            if (!dropped.isEmpty())
                logEvent(QStringLiteral("data file lost: ") + dropped);
        }
    }
    // Kept while the file waits in memory, so a power cut meanwhile loses nothing.
    m_journal->finished(result == PassDataStore::WriteFailed && m_pendingDataFiles.paths().contains(
                            QStringLiteral("data") + QDir::separator() + name) ? name : QString());
    if (m_extras)
        m_extras->dataFileWritten(QDir(QStringLiteral("data")).absoluteFilePath(name), result == PassDataStore::WriteOk);
    m_sky->redrawRecordedPass(*m_store);
}

void tuv::retryPendingDataFiles()
{
    if (m_pendingDataFiles.isEmpty())
        return;
    for (const QString &path : m_pendingDataFiles.retry()) {
        logEvent(QStringLiteral("data file written: ") + path);
        m_journal->written(path);
        if (m_extras)
            m_extras->dataFileWritten(QFileInfo(path).absoluteFilePath(), true);
    }
}

void tuv::givePendingDataFilesUp()
{
    if (m_pendingDataFiles.isEmpty())
        return;
    QString error;
    for (const QString &path : m_pendingDataFiles.retry(&error))
        logEvent(QStringLiteral("data file written: ") + path);
    for (const QString &path : m_pendingDataFiles.paths())
        logEvent(QStringLiteral("data file lost: ") + path + QStringLiteral(": ") + error);
}

void tuv::readTcpData()
{
    // Samples count only while the controller's last reply says it waits at the
    // start or tracks.
    m_demod->readTcpData(m_state.StationSettings, lastReplyStatusWord(m_state.linkState), *m_store);
}

QString tuv::LogfilenamePrepare()
{
    return dataFileName(m_state.PassPlan.satellite, m_state.PassPlan.orbit);
}

QString tuv::LogfileTitlePrepare()
{
    return dataFileTitle(m_state.StationSettings);
}

QString tuv::passDataFileTitle()
{
    return LogfileTitlePrepare() + ui->TrackInfo->text();
}

void tuv::recoverInterruptedPass()
{
    m_journal = new PassJournal([this](const QString &m) { logEvent(m); });
    const JournalRecovery r = recoverPassJournal(m_journal->path(), QStringLiteral("data"),
                                                 [this](const QString &m) { logEvent(m); });
    if (r.written && m_extras)
        m_extras->dataFileWritten(QDir(QStringLiteral("data")).absoluteFilePath(r.fileName), true);
    if (!r.written && !r.dataText.isEmpty()) {
        // Tried again each second like a pass whose finish could not write.
        m_pendingDataFiles.add(QStringLiteral("data") + QDir::separator() + r.fileName, r.dataText,
                               r.companionText);
        m_journal->keepFor(r.fileName);
    }
}
