// Firmware programming: the operator's side of a run and the hand-over of the
// controller port to flashprg and back.
#include "tuv.h"
#include "ui_tuv.h"

#include "dialogs.h"
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
    if (linkState.flashDelay != 0)
        return;
    if (!platform::dialogs().question(QStringLiteral("Programm device")))
        return;
    const QString path = platform::dialogs().openFile(QStringLiteral("Open Code"), PassPlan.lastOpenDir,
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
    linkState.flashDelay = 1;
    flashWorkflow.firmwareImage = file.image;
    platform::dialogs().message(QStringLiteral("turn flash switch on"));
    ui->ProgProgress->setText(QStringLiteral("Connecting.."));
    ui->ProgProgress->show();
    connect(this, &tuv::delalay, this, &tuv::dalshe, Qt::UniqueConnection);
    linkState.flashDelay = CountdownSeconds;
    flashWorkflow.programRequest = true;
}

void tuv::dalshe()
{
    switch (dalsheStep()) {
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
    disconnect(this, &tuv::delalay, this, &tuv::dalshe);
    // Only the window's own reception: other listeners of the port stay.
    disconnect(m_readConnection);
    replyTimer->stop();
    cycleTimer->stop();
    gpsLabel->clear();
    infoLabel->clear();
    stateLabel->clear();
    linkLabel->clear();
    ui->ProgProgress->clear();
    progress(QString());
    if (flashWorkflow.run) {
        // Never two runs on one port.
        const QByteArray image = flashWorkflow.firmwareImage;
        releaseFlashRun(RunDeletion::Later);
        flashWorkflow.firmwareImage = image;
    }
    flashWorkflow.run = new flashprg(nullptr, m_rs, flashWorkflow.firmwareImage, 16);
    // Queued: a run ends inside the port's readyRead when its last answer is
    // taken at once, and the port emits no readyRead while one is handled. The
    // closing box opened there would leave the window deaf.
    connect(flashWorkflow.run, &flashprg::finish, this, &tuv::FlashPrFinish, Qt::QueuedConnection);
    connect(flashWorkflow.run, &flashprg::progresS, this, &tuv::progress);
}

void tuv::progress(QString m)
{
    const QString before = ui->ProgProgress->text();
    const QString after = appendProgress(before, m);
    if (after == before)
        return;
    ui->ProgProgress->setText(after);
    // Dots too: the label has to grow to show its lines of 50.
    ui->ProgProgress->resize(ui->ProgProgress->sizeHint());
}

void tuv::FlashPrFinish(char err)
{
    const QString why = flashWorkflow.run ? flashWorkflow.run->failureReason() : QString();
    // Called from the run's own signal: the run object is deleted later.
    releaseFlashRun(RunDeletion::Later);
    disconnect(m_readConnection);
    m_readConnection = connect(m_rs->port(), &QSerialPort::readyRead, this, &tuv::readdata);
    // A reception cut short by the hand-over must not keep the next one from
    // being framed.
    linkState.replyCountdown = 0;
    // The link is taken up again before the closing box: the new firmware may
    // reply while the operator reads it.
    linkState.flashDelay = 0;
    linkState.linkWatchdog = 0;
    linkState.statusWord = 0;
    linkState.cycleTicks = 1;
    cycleTimer->start(100);
    // What came in before the window listened again is a reception too.
    if (m_rs->bytesAvailable() > 0)
        readdata();

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
    if (linkState.flashDelay == 0)
        ui->ProgProgress->hide();
    infoLabel->setStyleSheet(QString::fromLatin1(StyleBlack));
}
