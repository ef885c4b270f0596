#pragma once
// The command-line updater: shows the device's version, leads through the
// bootstrap-mode steps, runs the four stages while reporting their progress
// and tells the outcome.

#include "CliIo.h"
#include "CliOptions.h"

// An update, or --version-only; 128 + the signal when interrupted.
int RunUpdater(const CliOptions& options, const CliStreams& io);
