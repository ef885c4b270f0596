#pragma once
// A service bench: several Kestrunes updated at once, each in a child
// process of its own running the same core (the staging buffer is one per
// process), with one status line per device and a table at the end.

#include "CliOptions.h"
#include "Updater.h"

// 0 when every device was updated, 1 otherwise, 128 + the signal when
// interrupted.
int RunBench(const CliOptions& options, const CliStreams& io);
