#include "Bench.h"

// A bench starts one process per device, which this Windows build does not
// do yet: several copies of kestrune-update.exe, one per port, do the same.
int RunBench(const CliOptions&, const CliStreams& io)
{
    std::fprintf(io.err, "kestrune-update: --bench runs on Linux; on Windows start one kestrune-update.exe per port\n");
    return ExitUsage;
}
