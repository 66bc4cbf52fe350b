#include "flashworkflow.h"

#include "flashprg.h"
#include "controllerlink.h"
#include "frames.h"
#include "linkstate.h"

namespace {
constexpr int DotsPerLine = 50;
constexpr quint8 CountdownSeconds = 4; // counted down to 1 by the main cycle
}

DalsheAction dalsheStep(FlashWorkflowState &w, ControllerLink &link)
{
    LinkState &linkState = link.state();
    const bool linkAlive = linkState.linkWatchdog != 0;
    if (w.programRequest && linkAlive) {
        link.sendCommand(CmdEnterProgramming);
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

QString appendProgress(FlashWorkflowState &w, const QString &label, const QString &m)
{
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

void releaseFlashRun(FlashWorkflowState &w, RunDeletion deletion)
{
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

void resetFlashWorkflow(FlashWorkflowState &w)
{
    releaseFlashRun(w);
    w = FlashWorkflowState();
}
