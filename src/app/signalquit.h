#pragma once
// SIGTERM, SIGINT and SIGHUP (a session ending, Ctrl+C in the terminal, the
// terminal gone) reach the main window through a pipe that its event loop
// watches, also inside the waits of a transfer.
namespace qxr {

class TMainForm;

// From now on each of these signals calls window.quitOnSignal(signal).
void quitOnTerminationSignals(TMainForm& window);

}  // namespace qxr
