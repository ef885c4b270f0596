#pragma once
// The simulated Kestrune that an update without a port goes to. It lives on
// a pseudo-terminal, so there is none on Windows.

#include "CliOptions.h"

#include <memory>
#include <string>

class SimulatedDevice {
public:
    virtual ~SimulatedDevice() = default;
    virtual std::string Name() const = 0;
    // The terminal the updater opens to reach it.
    virtual std::string PortName() const = 0;
    // Power on again, with "SET" held (bootstrap mode) or without.
    virtual void PowerOn(bool holdSet) = 0;
};

// Starts one, with the options' pacing, latency and faults; null with the
// reason where there can be none.
std::unique_ptr<SimulatedDevice> StartSimulatedDevice(const CliOptions& options, std::string& reason);
