#pragma once
// A service bench: several Kestrunes updated at once, each on a thread of
// its own with a link of its own, through the same core as a single update;
// one status line per device and a table at the end.

#include "CliIo.h"
#include "CliOptions.h"

// 0 when every device was updated, 1 otherwise, 128 + the signal when
// interrupted.
int RunBench(const CliOptions& options, const CliStreams& io);
