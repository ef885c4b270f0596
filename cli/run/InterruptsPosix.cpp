#include "Interrupts.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t& CaughtSignal()
{
    static volatile std::sig_atomic_t signal = 0;
    return signal;
}

extern "C" void NoteSignal(int signal) { CaughtSignal() = signal; }

} // namespace

void CatchInterrupts()
{
    CaughtSignal() = 0;
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a waiting read returns at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int InterruptSignal() { return CaughtSignal(); }

void RequestInterrupt(int signal) { CaughtSignal() = signal; }

// A signal leaves this process time to stop: nothing to wait for.
UpdateGuard::UpdateGuard() = default;
UpdateGuard::~UpdateGuard() = default;
