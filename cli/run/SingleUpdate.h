#pragma once
// The command-line updater on one port: shows the device's version, leads
// through the bootstrap-mode steps, runs the four stages while reporting
// their progress and tells the outcome; with --station, unit after unit.

#include "CliOptions.h"
#include "CliStreams.h"

// An update, or --version-only; 128 + the signal when interrupted.
int RunSingleUpdate(const CliOptions& options, const CliStreams& io);
