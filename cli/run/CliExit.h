#pragma once
// The command-line updater's exit statuses, and the one way a unit's
// outcome becomes one.

#include "UnitStatus.h"

enum CliExit : int {
    ExitSuccess = 0,
    ExitStageFailed = 1,
    ExitUsage = 2,
    ExitPortUnavailable = 3,
    ExitCancelled = 4,
    ExitNoSimulator = 5,
    ExitNoAnswer = 6, // --version-only: no version came
};

// 128 + the signal for an interrupted unit, ExitSuccess for one that is
// still running.
int ExitStatus(UnitOutcome outcome);
