#pragma once
// What the command-line updater was asked to do.

#include "DeviceFaults.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CliOptions {
    uint8_t port = 0;           // COM port 1-3; 0: none given
    std::string device;         // a terminal device to use as the port
    bool bPaced = false;        // simulated device: bytes take their wire time
    bool bAssumeYes = false;    // real device: don't wait for Enter
    bool bVersionOnly = false;  // show the device's version, send nothing else
    std::vector<Fault> faults;  // simulated device: faults to show

    bool UsesSimulator() const { return port == 0 && device.empty(); }
};

// Parses the arguments after the program name; error says what was wrong.
std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error);

extern const char* const kCliUsage;
