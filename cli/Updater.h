#pragma once
// The command-line updater: shows the device's version, leads through the
// bootstrap-mode steps, runs the four stages with a progress display and
// reports the outcome.

#include "CliOptions.h"

#include <cstdio>

enum CliExit : int {
    ExitSuccess = 0,
    ExitStageFailed = 1,
    ExitUsage = 2,
    ExitPortUnavailable = 3,
    ExitCancelled = 4,
    ExitNoSimulator = 5,
};

int RunUpdater(const CliOptions& options, std::FILE* out, std::FILE* in);
