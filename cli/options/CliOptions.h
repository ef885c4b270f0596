#pragma once
// What the command-line updater was asked to do.

#include "DeviceFaults.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class CliAction { Update, VersionOnly, ListPorts, ListImages, Bench, Help, Version, UdevRule };

// A fault for one simulated device of a bench (1 = the first).
struct BenchFault {
    uint32_t device;
    Fault fault;
};

struct CliOptions {
    CliAction action = CliAction::Update;
    uint8_t port = 0;                    // COM port 1-255 (5 or COM5); 0: none given
    std::string device;                  // the port by path, usb: or rfc2217:// name
    bool bPortGiven = false;             // --port was given (it and --device name one port)
    bool bDeviceGiven = false;           // --device was given
    bool bAssumeYes = false;             // real device: don't wait for the go-ahead
    bool bQuiet = false;                 // results and errors only
    bool bJson = false;                  // one JSON object per line on stdout
    std::string tracePath;               // wire trace: a file, "-" for stderr, empty for none
    bool bPaced = false;                 // simulated device or a local --device: bytes take their wire time
    uint32_t latencyMs = 0;              // simulated device: a USB adapter's latency timer
    std::vector<Fault> faults;           // simulated device: faults to show
    bool bBenchPorts = false;            // --bench: the arguments that are no options are its ports
    std::vector<std::string> benchPorts; // --bench: port names, each read when the options are
    uint32_t benchSimulated = 0;         // --bench-sim: this many simulated devices
    std::vector<BenchFault> benchFaults; // --bench-fault
    // Ports found rather than named.
    bool bAutoPort = false;   // --port auto: the USB adapter a Kestrune answers on
    std::string udevRulePort; // --udev-rule: the port whose adapter the rule names
    // A production station.
    std::string recordPath;        // --record: a line per unit, CSV where it ends in .csv
    std::string bootstrapCommand;  // --bootstrap-command: puts a unit into bootstrap mode
    std::string powerCycleCommand; // --power-cycle-command: restarts it after its update
    uint32_t hookTimeoutS = 30;    // --hook-timeout: each hook's time limit
    bool bSkipCurrent = false;     // --skip-current: a unit that runs the carried version is left alone
    bool bStation = false;         // --station: rounds until stopped
    uint32_t units = 0;            // --units: a station stops after this many (0: never)
    // The page in the browser.
    bool bGui = false;           // --gui: serve the page on this computer's loopback address
    uint32_t guiPort = 0;        // --gui-port: its TCP port (0: a free one)
    bool bNoBrowser = false;     // --no-browser: print the address only
    std::string nextUnitCommand; // --next-unit-command: returns 0 once a slot's next unit is in place
    std::string unitIdCommand;   // --unit-id-command: its first line is the unit's id
    bool bAskUnitId = false;     // --ask-unit-id: the person types (or scans) the unit's id

    bool UsesSimulator() const { return port == 0 && device.empty() && !bAutoPort; }
};

// Parses the arguments after the program name, in any order; error names
// the argument that was wrong.
std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error);

// Whether --paced may hold a local --device's writes for their wire time
// (the platform's own: CliUsagePosix.cpp, CliUsageWin32.cpp).
extern const bool kPacesLocalDevices;
