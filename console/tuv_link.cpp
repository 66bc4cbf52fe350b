// The main cycle, the controller's replies and the demodulator: the window's
// side of the controller link.
#include "tuv.h"
#include "ui_tuv.h"

#include "appstate.h"
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
float offsetForCorrection(int a, int b, int k)
{
    const int n = PassPlan.feedRadius.size();
    if (a < 0 || b < 0 || a >= n || b >= n || a == b)
        return std::numeric_limits<float>::quiet_NaN();
    return offsetAcrossTrack(quint16(a), quint16(b), qint8(k), false);
}

QVector<float> feedRadiusAsFloat()
{
    QVector<float> out;
    out.reserve(PassPlan.feedRadius.size());
    for (double r : PassPlan.feedRadius)
        out.append(float(r));
    return out;
}

JournalPass journalPass()
{
    const int first = PassPlan.firstReachable;
    return {PassPlan.satellite, PassPlan.orbit, PassPlan.feedRadius, PassPlan.feedAngle,
            PassPlan.azimuth.mid(first), PassPlan.elevation.mid(first)};
}
}

void tuv::SenDat()
{
    resendTxBytes();
}

void tuv::TimerUpdate()
{
    // Every 100 ms: the recording step and the power request.
    switch (advanceRecordState()) {
    case RecordStep::StartRecording:
        m_store->start();
        initCorrection(offsetForCorrection, feedRadiusAsFloat());
        m_journal->begin(journalPass(), m_store->noiseLevel(), passDataFileTitle());
        break;
    case RecordStep::ClearStore:
        m_store->clear();
        m_journal->cleared();
        break;
    case RecordStep::None:
        break;
    }
    if (linkState.recordState != 0)
        linkState.lastDemodResult = m_demod->sendPowerRequest();

    // Once per second from here on.
    if (!cycleSecondDue())
        return;
    const FlashCycleStep flash = flashCycleStep();
    if (flash.suspended) {
        if (flash.emitDelalay)
            emit delalay();
        return;
    }
    if (takeNoiseLevelNow()) {
        const float noise = m_store->closePoint();
        m_store->setNoiseLevel(noise);
        m_journal->noiseLevel(noise);
        setCorrectionNoiseLevel(noise);
    }
    if (linkState.recordState == 0)
        checkDemodulator();
    superviseLinkStep();
    retryPendingDataFiles();

    const UploadSupervisionResult upload = superviseUpload(
        [] { return autoLoadTrack(); }, [] { return passStartState(); },
        [this] { return uploadAutomatically(); });
    for (const QString &line : upload.logLines)
        logEvent(line);
}

int tuv::uploadAutomatically()
{
    if (pass::uploadScheduledPass() != 0)
        return AttemptRefused;
    return lastUploadWritten() ? AttemptWritten : AttemptNotWritten;
}

void tuv::checkDemodulator()
{
    QString status;
    bool rewrite = false;
    linkState.lastDemodResult = m_demod->checkDemodulator(&status, &rewrite);
    if (rewrite)
        settingsLabel->setText(settingsLabelText(settingsSummary, status));
}

void tuv::superviseLinkStep()
{
    // Checked every second, not only when the link is down, so a dead terminal
    // is let go at once.
    m_rs->dropIfHungUp();
    const LinkSupervisionResult r = superviseLink(*m_rs);
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

void tuv::readdata()
{
    if (m_rx.onReadyRead()) {
        // A reception begins: collect it after 30 ms of silence and let the
        // once-per-second step follow 100 ms after it.
        replyTimer->start();
        cycleTimer->start(100);
    }
}

void tuv::TimerOk()
{
    if (!m_rx.onTick())
        return;
    replyTimer->stop();
    const ParsedReception reception = m_rx.parse(*m_rs);
    if (reception.type == ParsedReception::Correction)
        answerCorrection();
    else if (reception.type == ParsedReception::Status)
        showStatus(reception.update);
    if (m_rx.afterParse())
        requestStatus();
}

void tuv::answerCorrection()
{
    if (!correctionWanted(PassPlan.uploadPointCount))
        return;
    const float power = m_store->closePoint();
    ui->RealTime->setText(realTimeText(power));
    const qint8 offset = nextCorrection(power, linkState.pointIndex, offsetForCorrection);
    sendCorrectionByte(offset);
    const int points = m_store->addPoint(linkState.byte10Offset, offset, qint16(linkState.pointIndex),
                                         correctionState.xValue);
    correctionState.pointsRecorded = qint16(points);
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
    if (serviceMode)
        ui->vexa41->setText(u.vexa41Text);

    gpsLabel->setStyleSheet(u.gps.label.style);
    gpsLabel->setText(u.gps.label.text);
    gpsLabel->adjustSize();
    infoLabel->setText(u.gps.infoText);
    if (!u.gps.clockLogLine.isEmpty())
        logEvent(u.gps.clockLogLine);

    if (u.tracking) {
        SkyDraw.drawOffset = u.drawOffset;
        setTrackingPen();
        drawSegment(u.pointIndex);
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
        ui->Feedback->setEnabled(on && StationSettings.Demodulator);
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
    const int first = PassPlan.firstReachable;
    const QString name = LogfilenamePrepare();
    const QString title = passDataFileTitle();
    const QVector<double> azimuth = PassPlan.azimuth.mid(first);
    const QVector<double> elevation = PassPlan.elevation.mid(first);
    QString error;
    const int result = m_store->writeDataFile(QStringLiteral("data"), name, title, PassPlan.feedRadius,
                                              PassPlan.feedAngle, azimuth, elevation, &error);
    if (result == PassDataStore::WriteFailed) {
        logEvent(QStringLiteral("data file not written: ") + error);
        // Kept and written once the folder takes it again; the store is
        // reused by the next pass.
        const QString path = QStringLiteral("data") + QDir::separator() + name;
        if (QFileInfo(name).fileName() == name && !name.contains(QLatin1Char('\\'))) {
            const QString dropped = m_pendingDataFiles.add(
                path,
                QFileInfo::exists(path) ? QByteArray()
                                        : m_store->dataFileText(title, PassPlan.feedRadius, PassPlan.feedAngle),
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
    redrawRecordedPass(*m_store);
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
    m_demod->readTcpData(lastReplyStatusWord(), *m_store);
}

QString tuv::LogfilenamePrepare()
{
    return dataFileName(PassPlan.satellite, PassPlan.orbit);
}

QString tuv::LogfileTitlePrepare()
{
    return dataFileTitle();
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
