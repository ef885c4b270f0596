#pragma once
// The port a unit's update opens, and how the person and the report name it.

#include "SerialPort.h"

#include <optional>
#include <string>

class SimulatedDevice;

struct UpdateTarget {
    std::string portName; // what the port is opened by
    PortOptions portOptions;
    std::string shownAs;             // how the report names it
    SimulatedDevice* pSim = nullptr; // a simulated Kestrune, switched on and off for the person
    bool bFound = false;             // --port auto chose it: the go-ahead's question names it
    std::string given = {};          // how the person named it, where not portName ("COM3")
};

// The target --port N or a bench's port (a number or a name) stands for.
UpdateTarget TargetForPort(const std::string& port);

// How the record and the hooks name the unit's port: as the person gave it.
std::string GivenPort(const UpdateTarget& target);

// The version a port's device answers with, the port opened for that only;
// nothing when it did not answer or would not open.
std::optional<std::string> PeekVersion(const UpdateTarget& target);
