#pragma once
// Ctrl-C and SIGTERM (on Windows Ctrl-C, Ctrl-Break, and closing the
// console, logging off or shutting down) end an update at its next
// exchange: the handlers only note the signal, and each link asks for it
// between exchanges and during its pauses. A signal is delivered to the
// process, so the note is the one process-wide value here; the handlers
// get no context to reach anything else.

// Installs the handlers and forgets any earlier signal; blocking calls are
// not restarted after a signal.
void CatchInterrupts();
// The signal that came, or 0 (on Windows SIGINT for Ctrl-C and Ctrl-Break,
// SIGTERM for the others).
int InterruptSignal();
// Stops everything as that signal would (the page's "Quit").
void RequestInterrupt(int signal);

// Held by an update from before its port opens until after it is closed.
// Windows ends the process as soon as a console-close, logoff or shutdown
// handler returns, so that handler waits (within the few seconds Windows
// allows) until no update holds a port; a port is then never left mid-frame
// or with its settings changed.
class UpdateGuard {
public:
    UpdateGuard();
    ~UpdateGuard();
    UpdateGuard(const UpdateGuard&) = delete;
    UpdateGuard& operator=(const UpdateGuard&) = delete;
};
