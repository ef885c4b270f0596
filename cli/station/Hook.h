#pragma once
// --bootstrap-command and --power-cycle-command: a command of the station's
// own (a relay on a unit's power and on "SET") run through the system
// shell, with KESTRUNE_PORT and KESTRUNE_SLOT (and KESTRUNE_UNIT, the unit's
// id, where known) in its environment and a time
// limit. What it writes goes to stderr a line at a time, with the slot in
// front and made printable; the last line it wrote to stderr is kept for
// the failure detail. Whatever it started ends when it does.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

struct HookCall {
    const char* name;    // "bootstrap", "power-cycle"
    std::string command; // for the system shell
    std::string port;    // KESTRUNE_PORT
    uint32_t slot = 1;   // KESTRUNE_SLOT
    uint32_t timeoutS = 30;
    std::FILE* output = stderr;        // its lines, prefixed
    bool (*stopRequested)() = nullptr; // asked while it runs: true ends it
    // Takes its lines, prefixed, instead of output where set (a bench shows
    // them above its status lines).
    std::function<void(const std::string&)> onLine = {};
    std::string unit = {}; // KESTRUNE_UNIT, where the unit's id is known
};

struct HookResult {
    bool bOk = false;
    bool bInterrupted = false; // a signal came while it ran; it was ended
    std::string detail;        // why it failed, naming the hook
    std::string firstLine;     // the first line it wrote to stdout, as written (not printable)
};

HookResult RunHook(const HookCall& call);
