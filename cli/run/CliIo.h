#pragma once
// The command-line updater's exit statuses and the streams it talks through.

#include <cstdio>

enum CliExit : int {
    ExitSuccess = 0,
    ExitStageFailed = 1,
    ExitUsage = 2,
    ExitPortUnavailable = 3,
    ExitCancelled = 4,
    ExitNoSimulator = 5,
};

struct CliStreams {
    std::FILE* out; // results, progress, JSON events
    std::FILE* err; // errors, warnings, prompts in JSON mode
    std::FILE* in;  // answers to the prompts
};
