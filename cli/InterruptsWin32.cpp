#include "Interrupts.h"

#include <windows.h>

#include <csignal>

namespace {

volatile LONG g_signal = 0;

// Ctrl-C and Ctrl-Break come as console events; closing the window or
// logging off as the others. The handler only notes them.
BOOL WINAPI NoteConsoleEvent(DWORD event)
{
    InterlockedExchange(&g_signal, event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM);
    return TRUE;
}

} // namespace

void CatchInterrupts()
{
    InterlockedExchange(&g_signal, 0);
    SetConsoleCtrlHandler(NoteConsoleEvent, TRUE);
}

int InterruptSignal() { return static_cast<int>(g_signal); }
