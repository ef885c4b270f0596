#pragma once
// One device's update from its port on: the version it runs, the go-ahead,
// the four stages, and the version it reports after its restart. A single
// update and every device of a bench run through it.

#include "CliIo.h"
#include "CliOptions.h"
#include "SerialPort.h"
#include "UnitRecord.h"
#include "UpdateReport.h"

#include <string>

class SimulatedDevice;
class UnitRecorder;
class WireTrace;

struct UpdateTarget {
    std::string portName; // what the port is opened by
    PortOptions portOptions;
    std::string shownAs;             // how the report names it
    SimulatedDevice* pSim = nullptr; // a simulated Kestrune, switched on and off for the person
    bool bFound = false;             // --port auto chose it: the go-ahead's question names it
    std::string given = {};          // how the person named it, where not portName ("COM3")
};

// A unit's place on the station, and what became of it.
struct UnitRun {
    uint32_t slot = 1;                 // 1-based position on the bench
    UnitRecorder* pRecorder = nullptr; // --record
    std::FILE* hookOutput = stderr;    // the hooks' lines
    bool bGoAheadGiven = false;        // the round's prompt asked already
    UnitResult result = UnitResult::Failed;
};

// Reads one answer; only "y" or "yes" (any case, spaces aside) is a yes.
bool AnswersYes(std::FILE* in);

// The target --port N or a bench's port (a number or a name) stands for.
UpdateTarget TargetForPort(const std::string& port);

// An exit status of CliExit, or 128 + the signal when interrupted; the
// unit's line goes to the record, if any, before it returns.
int UpdateDevice(const CliOptions& options, const UpdateTarget& target, UpdateReport& report, WireTrace* trace,
                 const CliStreams& io, UnitRun& unit);

// The version a port's device answers with, the port opened for that only;
// nothing when it did not answer or would not open.
std::optional<std::string> PeekVersion(const UpdateTarget& target);
