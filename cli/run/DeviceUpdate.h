#pragma once
// One device's update from its port on: the version it runs, the go-ahead,
// the four stages, and the version it reports after its restart. A single
// update and every device of a bench run through it.

#include "CliIo.h"
#include "CliOptions.h"
#include "SerialPort.h"
#include "UpdateReport.h"

#include <string>

class SimulatedDevice;
class WireTrace;

struct UpdateTarget {
    std::string portName; // what the port is opened by
    PortOptions portOptions;
    std::string shownAs;             // how the report names it
    SimulatedDevice* pSim = nullptr; // a simulated Kestrune, switched on and off for the person
    bool bFound = false;             // --port auto chose it: the go-ahead's question names it
};

// Reads one answer; only "y" or "yes" (any case, spaces aside) is a yes.
bool AnswersYes(std::FILE* in);

// The target --port N or a bench's port (a number or a name) stands for.
UpdateTarget TargetForPort(const std::string& port);

// An exit status of CliExit, or 128 + the signal when interrupted.
int UpdateDevice(const CliOptions& options, const UpdateTarget& target, UpdateReport& report, WireTrace* trace,
                 const CliStreams& io);
