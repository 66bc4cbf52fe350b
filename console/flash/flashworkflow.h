#pragma once
#include "firmwarefile.h"

#include <QByteArray>
#include <QString>

class ControllerLink;
class flashprg;

// The programming workflow's state: one preparation or run at a
// time, told apart by linkState.flashDelay (non-zero while either lasts).
struct FlashWorkflowState
{
    bool programRequest = false;  // command 10 still to be sent
    QByteArray firmwareImage;     // the chosen file, kept until the run ends
    flashprg *run = nullptr;      // the active run, owned
    qint32 dotCount = 0;          // dots on the current progress line
};

// What the end of a countdown (delalay) leads to.
enum class DalsheAction {
    CommandSent, // the link was alive: command 10 sent, three more seconds
    Fail,        // still alive after command 10: flashDelay 0, image dropped
    StartRun,    // the controller is silent: hand the port to a run
};
// Decides from programRequest and the link watchdog, sends command 10 when
// due and updates flashDelay, programRequest and the image.
DalsheAction dalsheStep(FlashWorkflowState &flashWorkflow, ControllerLink &link);

// The progress label's text after one progress message: the empty text only
// resets the dot counter; a "." starts a new line before every 50 dots.
QString appendProgress(FlashWorkflowState &flashWorkflow, const QString &label, const QString &m);

// Ends the active run: the port gets its parity back at once, the run object
// is deleted (later, when called from the run's own finish signal) and the
// image dropped. The window calls it when a run finishes and before it
// deletes the port.
enum class RunDeletion { Now, Later };
void releaseFlashRun(FlashWorkflowState &flashWorkflow, RunDeletion deletion = RunDeletion::Now);
// Starts the workflow afresh (releases any run).
void resetFlashWorkflow(FlashWorkflowState &flashWorkflow);
