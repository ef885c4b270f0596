#pragma once
// Ctrl-C (SIGINT) and SIGTERM end an update at the next exchange: the
// handlers only note the signal, and the link asks for it between
// exchanges and during its pauses.

// Installs the handlers and forgets any earlier signal; blocking calls are
// not restarted after a signal.
void CatchInterrupts();
// The signal that came, or 0.
int InterruptSignal();
