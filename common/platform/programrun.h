#pragma once

class Dialogs;
class QWidget;

namespace platform {
// The prompts of a program: real message boxes, or, with TUVARN_DIALOGS=auto,
// prompts that answer themselves on standard error (process tests). Installs
// them for the whole run and returns them.
Dialogs &installProgramDialogs();
// Shows the main window maximized at the full available size (without a window
// manager "maximized" alone means nothing), runs the event loop until it quits
// (window closed, SIGINT, SIGTERM), deletes the window and returns the exit code.
int runMainWindow(QWidget *window);
}
