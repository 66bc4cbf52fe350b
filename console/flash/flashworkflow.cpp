#include "flashworkflow.h"

#include "flashprg.h"
#include "frames.h"
#include "linkstate.h"

#include <QFile>

FlashWorkflowState flashWorkflow;

namespace {
constexpr int DotsPerLine = 50;
constexpr quint8 CountdownSeconds = 4; // counted down to 1 by the main cycle
}

FirmwareFile readFirmwareFile(const QString &path)
{
    FirmwareFile out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    out.opened = true;
    // A sequential file reports no size; it is read up to one byte past the limit.
    if (!file.isSequential() && file.size() > flashprg::MaxImageSize) {
        out.problem = flashprg::imageProblem(file.size());
        return out;
    }
    out.image = file.read(flashprg::MaxImageSize + 1);
    out.problem = flashprg::imageProblem(out.image.size());
    if (!out.problem.isEmpty())
        out.image.clear();
    return out;
}

DalsheAction dalsheStep()
{
    FlashWorkflowState &w = flashWorkflow;
    const bool linkAlive = linkState.linkWatchdog != 0;
    if (w.programRequest && linkAlive) {
        sendCommand(CmdEnterProgramming);
        linkState.flashDelay = CountdownSeconds;
        w.programRequest = false;
        return DalsheAction::CommandSent;
    }
    if (!w.programRequest && linkAlive) {
        linkState.flashDelay = 0;
        w.firmwareImage.clear();
        return DalsheAction::Fail;
    }
    w.programRequest = false;
    return DalsheAction::StartRun;
}

QString appendProgress(const QString &label, const QString &m)
{
    FlashWorkflowState &w = flashWorkflow;
    if (m.isEmpty()) {
        w.dotCount = 0;
        return label;
    }
    if (m != QLatin1String("."))
        return label + m;
    QString out = label;
    if (w.dotCount % DotsPerLine == 0)
        out += QLatin1Char('\n');
    ++w.dotCount;
    return out + QLatin1Char('.');
}

void releaseFlashRun(RunDeletion deletion)
{
    FlashWorkflowState &w = flashWorkflow;
    flashprg *run = w.run;
    w.run = nullptr;
    if (run) {
        // Handed back it is silent: its timer stopped, the port let go.
        run->handBack();
        if (deletion == RunDeletion::Later)
            run->deleteLater();
        else
            delete run;
    }
    w.firmwareImage.clear();
    w.firmwareImage.squeeze();
}

void resetFlashWorkflow()
{
    releaseFlashRun();
    flashWorkflow = FlashWorkflowState();
}
