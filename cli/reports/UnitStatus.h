#pragma once
// A unit's update as one snapshot: what a bench's line and table, or a page
// that watches a station, show of it. StatusReport keeps it from the events
// every report gets, so each view reads the same fields and none reads
// another's output back.

#include <cstdint>
#include <optional>
#include <string>

// How a unit's update ended; Running until it has.
enum class UnitOutcome {
    Running,
    Done,    // updated, or (--version-only) its version shown
    Skipped, // --skip-current: it already ran the carried version
    Failed,  // a stage, a hook or the check after the restart
    PortUnavailable,
    Cancelled, // the go-ahead was not given
    Interrupted,
    NoSimulator, // no simulated Kestrune could be started for it
    NoAnswer,    // --version-only: no version came (no answer, or a garbled one)
};

struct UnitStatus {
    std::string port; // as the report names it, once it opened
    std::string unit; // its id, where one was given
    int stage = 0;    // 1 to 4: the stage under way, or where it stopped
    std::string step; // within the stage ("erase", "program")
    uint32_t done = 0;
    uint32_t total = 0;
    double percent = 0; // of the whole update, one decimal
    std::optional<std::string> versionBefore;
    std::optional<std::string> versionAfter;
    std::string hook; // the hook that runs now ("bootstrap", "power-cycle"), or ""
    // What the events so far say; the unit's own outcome once bEnded.
    UnitOutcome outcome = UnitOutcome::Running;
    bool bEnded = false;
    int failedStage = 0;
    std::string message; // the failed stage's message
    std::string detail;  // the failing exchange, the hook's words, or what the restart showed
    std::string note;    // what an update that succeeded should be known with
    std::string error;   // words for a person that are no event (why the port would not open)
    int signal = 0;      // the signal that interrupted it
    double seconds = 0;  // the stages' time, once they succeeded
};
