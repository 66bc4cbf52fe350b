// Firmware programming: the operator's side of a run and the hand-over of the
// controller port to flashprg and back.
#include "tuv.h"
#include "ui_tuv.h"

#include "controllerlink.h"
#include "controllertransport.h"
#include "dialogs.h"
#include "timers.h"
#include "flashprg.h"
#include "flashworkflow.h"
#include "linkstate.h"
#include "passplan.h"
#include "rs.h"

#include <QLabel>
#include <QTimer>

namespace {
constexpr quint8 CountdownSeconds = 4;

// Without the programmer's own reason: the last step the progress shows.
QString programmingFailureReason(const QString &progressText)
{
    QString last;
    const QStringList lines = progressText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines)
        if (!line.trimmed().isEmpty() && line.count(QLatin1Char('.')) != line.size())
            last = line.trimmed();
    const QString reason = QStringLiteral("no answer from the boot loader");
    return last.isEmpty() ? reason : reason + QStringLiteral(" after \"") + last + QLatin1Char('"');
}
}

void tuv::on_FlashProg_clicked()
{
    // A preparation or a run is under way.
    if (m_state.linkState.flashDelay != 0)
        return;
    if (!platform::dialogs().question(QStringLiteral("Programm device")))
        return;
    const QString path = platform::dialogs().openFile(QStringLiteral("Open Code"), m_state.PassPlan.lastOpenDir,
                                                      QStringLiteral("bin. Files (*.bin)"));
    if (path.isEmpty())
        return;
    FirmwareFile file = readFirmwareFile(path);
    if (!file.opened) {
        ui->ProgProgress->setText(ui->ProgProgress->text() + QStringLiteral("\nError opening"));
        ui->ProgProgress->resize(ui->ProgProgress->sizeHint());
        // The progress label is hidden outside a run: say it where it is seen.
        platform::dialogs().message(QStringLiteral("Error opening ") + path);
        return;
    }
    if (!file.problem.isEmpty()) {
        platform::dialogs().message(file.problem);
        return;
    }
    m_state.linkState.flashDelay = 1;
    m_state.flashWorkflow.firmwareImage = file.image;
    platform::dialogs().message(QStringLiteral("turn flash switch on"));
    ui->ProgProgress->setText(QStringLiteral("Connecting.."));
    ui->ProgProgress->show();
    connect(this, &tuv::delalay, this, &tuv::dalshe, Qt::UniqueConnection);
    m_state.linkState.flashDelay = CountdownSeconds;
    m_state.flashWorkflow.programRequest = true;
}

void tuv::dalshe()
{
    switch (dalsheStep(m_state.flashWorkflow, *m_link)) {
    case DalsheAction::CommandSent:
        return;
    case DalsheAction::Fail:
        disconnect(this, &tuv::delalay, this, &tuv::dalshe);
        ui->ProgProgress->hide();
        platform::dialogs().message(QStringLiteral("Fail to enter programming mode"));
        return;
    case DalsheAction::StartRun:
        break;
    }
    if (!m_rs) {
        // A transport handed in by a test has no boot loader behind it.
        disconnect(this, &tuv::delalay, this, &tuv::dalshe);
        m_state.linkState.flashDelay = 0;
        m_state.flashWorkflow.firmwareImage.clear();
        ui->ProgProgress->hide();
        platform::dialogs().message(QStringLiteral("Fail to enter programming mode"));
        return;
    }
    disconnect(this, &tuv::delalay, this, &tuv::dalshe);
    // Only the link's own reception: other listeners of the port stay.
    m_link->suspendReading();
    m_link->stopReplyTimer();
    cycleTimer->stop();
    gpsLabel->clear();
    infoLabel->clear();
    stateLabel->clear();
    linkLabel->clear();
    ui->ProgProgress->clear();
    progress(QString());
    if (m_state.flashWorkflow.run) {
        // Never two runs on one port.
        const QByteArray image = m_state.flashWorkflow.firmwareImage;
        releaseFlashRun(m_state.flashWorkflow, RunDeletion::Later);
        m_state.flashWorkflow.firmwareImage = image;
    }
    m_state.flashWorkflow.run = new flashprg(nullptr, m_rs, m_state.flashWorkflow.firmwareImage, 16);
    // Queued: a run ends inside the port's readyRead when its last answer is
    // taken at once, and the port emits no readyRead while one is handled. The
    // closing box opened there would leave the window deaf.
    connect(m_state.flashWorkflow.run, &flashprg::finish, this, &tuv::FlashPrFinish, Qt::QueuedConnection);
    connect(m_state.flashWorkflow.run, &flashprg::progresS, this, &tuv::progress);
}

void tuv::progress(QString m)
{
    const QString before = ui->ProgProgress->text();
    const QString after = appendProgress(m_state.flashWorkflow, before, m);
    if (after == before)
        return;
    ui->ProgProgress->setText(after);
    // Dots too: the label has to grow to show its lines of 50.
    ui->ProgProgress->resize(ui->ProgProgress->sizeHint());
}

void tuv::FlashPrFinish(char err)
{
    const QString why = m_state.flashWorkflow.run ? m_state.flashWorkflow.run->failureReason() : QString();
    // Called from the run's own signal: the run object is deleted later.
    releaseFlashRun(m_state.flashWorkflow, RunDeletion::Later);
    // A reception cut short by the hand-over is dropped.
    m_link->resumeReading();
    // The link is taken up again before the closing box: the new firmware may
    // reply while the operator reads it.
    m_state.linkState.flashDelay = 0;
    m_state.linkState.linkWatchdog = 0;
    m_state.linkState.statusWord = 0;
    m_state.linkState.cycleTicks = 1;
    cycleTimer->start(100);
    // What came in before the window listened again is a reception too.
    if (m_link->transport()->bytesAvailable() > 0)
        m_link->readdata();

    if (err != 0) {
        infoLabel->setText(QStringLiteral("Error programming"));
        // The programmer knows what went wrong; without a run object only the
        // progress shown so far can tell.
        logEvent(QStringLiteral("Error programming: ")
                 + (why.isEmpty() ? programmingFailureReason(ui->ProgProgress->text()) : why));
    } else {
        ui->ProgProgress->setText(ui->ProgProgress->text() + QStringLiteral("\nMemory programmed ok"));
        ui->ProgProgress->resize(ui->ProgProgress->sizeHint());
        platform::dialogs().message(QStringLiteral("Programming finished.\nTurn flash switch off\nand reboot"));
    }
    // A preparation begun while the box was open keeps its progress shown.
    if (m_state.linkState.flashDelay == 0)
        ui->ProgProgress->hide();
    infoLabel->setStyleSheet(QString::fromLatin1(StyleBlack));
}
