#pragma once
// One whole update against the simulated Kestrune, timed: its wall time, the
// heap allocations the updater's thread made meanwhile, the device's own
// timing, the host's turnarounds as the device saw them, and the processor
// time a hypervisor took meanwhile.

#include "HostTurnarounds.h"
#include "KestruneDevice.h"
#include "LinkObserver.h"

#include <cstdint>
#include <optional>

struct TimedRun {
    double seconds;
    uint64_t allocations;
    DeviceTiming timing;
    TurnaroundSummary turnarounds;
    double stolen;
};

// Paced: every byte takes its wire time; latencyMs: a USB adapter's latency
// timer. With ser2net options (a string, "" for none), through ser2net.
// Nothing when the update failed.
std::optional<TimedRun> TimedUpdate(bool paced, uint32_t latencyMs, LinkObserver* observer,
                                    const char* ser2netOptions = nullptr);
