#pragma once
// How the command-line updater tells what happens: for a person (a bar
// redrawn in place on a terminal, plain lines otherwise) or for a script
// (JSON events), or a snapshot for a bench or a page (StatusReport). The
// unit's update calls these in order; each view is one implementation, and
// FanOutReport passes every event to several.

#include "LinkObserver.h"
#include "UnitStatus.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

class ProgressPlan;

class UpdateReport {
public:
    virtual ~UpdateReport() = default;
    // The port in use and the version the device reported, if it answered.
    virtual void Start(const std::string& port, const std::optional<std::string>& deviceVersion) = 0;
    // Words for a person at the terminal: the steps to take, notes.
    virtual void Note(const std::string& text) = 0;
    // Why the port would not open: the path, the system's reason, what to
    // do; lines without a final line end.
    virtual void PortUnavailable(const std::string& text) = 0;
    virtual void Step(const StageProgress& progress) = 0;
    // After the stages: failedStage is 0 when all four succeeded. detail
    // says where and why a stage failed, or adds a note to a success.
    virtual void Outcome(int failedStage, const char* detail, double seconds) = 0;
    // The go-ahead was not given; only the version query was sent.
    virtual void Cancelled() = 0;
    // A signal stopped the update during stage (0: before anything was sent).
    virtual void Interrupted(int stage, int signal, const char* detail) = 0;
    // The version the device reports after its restart.
    virtual void VersionAfter(const std::optional<std::string>& deviceVersion) = 0;
    // --skip-current: the device already runs the carried version; only the
    // version query was sent.
    virtual void Skipped() = 0;
    // The bootstrap hook failed; nothing was sent for the update.
    virtual void BootstrapHookFailed(const std::string& detail) = 0;
    // After the power-cycle hook: whether the device then runs the carried
    // version, and what went wrong where it does not.
    virtual void RestartChecked(bool ok, const std::string& detail) = 0;
    // The unit's id (--unit-id-command, --ask-unit-id), before Start.
    virtual void UnitId(const std::string& /*id*/) {}
    // No id of its own came (none, or another unit's): the unit fails, and nothing was sent for its update.
    virtual void UnitIdMissing(const std::string& detail) { BootstrapHookFailed(detail); }
    // A station's hook begins (its name), or ended (nullptr).
    virtual void Hook(const char* /*name*/) {}
    // The unit's update is over; the last event.
    virtual void Ended(UnitOutcome /*outcome*/) {}
};

// out takes results and progress, err takes errors; quiet keeps only
// results and errors. simulated: the unit is the simulated Kestrune, and
// the first line and the result say so.
std::unique_ptr<UpdateReport> MakeTerminalReport(std::FILE* out, std::FILE* err, bool quiet, const ProgressPlan& plan,
                                                 bool simulated = false);

const char* StageTitle(int stage);
