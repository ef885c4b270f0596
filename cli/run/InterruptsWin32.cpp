#include "Interrupts.h"

#include <windows.h>

#include <csignal>
#include <mutex>

namespace {

// What the console handler, running on a thread of the system's, shares
// with the updates.
struct ConsoleStop {
    volatile LONG signal = 0;
    std::mutex mutex;
    int portsHeld = 0;
    HANDLE noPortHeld = CreateEventA(nullptr, TRUE, TRUE, nullptr); // set while none is held
};

ConsoleStop& Stop()
{
    static ConsoleStop stop;
    return stop;
}

// Windows gives a console-close handler 5 s before it ends the process
// (logoff and shutdown may give more): leave room for the last exchange.
constexpr DWORD kCloseWaitMs = 4500;

BOOL WINAPI NoteConsoleEvent(DWORD event)
{
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    InterlockedExchange(&Stop().signal, interrupt ? SIGINT : SIGTERM);
    // Closing, logging off or shutting down: the process ends when this
    // returns, so first let every update stop and close its port.
    if (!interrupt)
        WaitForSingleObject(Stop().noPortHeld, kCloseWaitMs);
    return TRUE;
}

} // namespace

void CatchInterrupts()
{
    InterlockedExchange(&Stop().signal, 0);
    SetConsoleCtrlHandler(NoteConsoleEvent, TRUE);
}

int InterruptSignal() { return static_cast<int>(Stop().signal); }

void RequestInterrupt(int signal) { InterlockedExchange(&Stop().signal, signal); }

UpdateGuard::UpdateGuard()
{
    std::lock_guard lock(Stop().mutex);
    if (++Stop().portsHeld == 1)
        ResetEvent(Stop().noPortHeld);
}

UpdateGuard::~UpdateGuard()
{
    std::lock_guard lock(Stop().mutex);
    if (--Stop().portsHeld == 0)
        SetEvent(Stop().noPortHeld);
}
