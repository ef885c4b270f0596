#pragma once
// A service bench: several Kestrunes updated at once, each on a thread of
// its own with a link of its own, through the same UnitUpdate as a single
// update; one status line per unit and a table at the end.

#include "CliOptions.h"
#include "CliStreams.h"

// 0 when every unit was updated, 1 otherwise, 128 + the signal when
// interrupted.
int RunBench(const CliOptions& options, const CliStreams& io);

class PageState;
// The same, with a page that shows a tile per unit (its state has a slot
// for each) and asks the person there.
int RunBench(const CliOptions& options, const CliStreams& io, PageState* page);
