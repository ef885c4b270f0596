#include "Interrupts.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_signal = 0;

extern "C" void NoteSignal(int signal) { g_signal = signal; }

} // namespace

void CatchInterrupts()
{
    g_signal = 0;
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a waiting read returns at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int InterruptSignal() { return g_signal; }
