#pragma once
// The command-line updater: shows the device's version, leads through the
// bootstrap-mode steps, runs the four stages while reporting their progress
// and tells the outcome.

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

struct CliStreams {
    std::FILE* out; // results, progress, JSON events
    std::FILE* err; // errors, warnings, prompts in JSON mode
    std::FILE* in;  // answers to the prompts
};

// Reads one answer; only "y" or "yes" (any case, spaces aside) is a yes.
bool AnswersYes(std::FILE* in);

// An update, or --version-only; 128 + the signal when interrupted.
int RunUpdater(const CliOptions& options, const CliStreams& io);
