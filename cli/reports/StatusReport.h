#pragma once
// The report that keeps a unit's snapshot (UnitStatus) and tells a watcher
// after each change what changed. A bench draws its lines and table from it;
// a page can show the same snapshot. It runs on the unit's thread: the
// watcher takes whatever lock it shares with its readers.

#include "UpdateReport.h"

class ProgressPlan;

enum class UnitChange {
    Started,       // the port opened and the version was asked
    StageBegun,    // a new stage, or the one a failure stopped
    Progress,      // a step, its counts and the percent
    Result,        // the stages ended, or a result before them (skipped, cancelled, a hook failed)
    VersionAfter,  // the version after the restart
    RestartFailed, // the power-cycle hook or the check after it
    Hook,          // a hook began or ended
    Error,         // words for a person that are no event
    Ended,         // the unit's outcome
};

class UnitWatcher {
public:
    virtual ~UnitWatcher() = default;
    virtual void Changed(const UnitStatus& status, UnitChange change) = 0;
};

class StatusReport : public UpdateReport {
public:
    StatusReport(const ProgressPlan& plan, UnitWatcher& watcher) : m_plan(plan), m_watcher(watcher) {}
    const UnitStatus& Status() const { return m_status; }

    void Start(const std::string& port, const std::optional<std::string>& deviceVersion) override;
    void Note(const std::string&) override {}
    void PortUnavailable(const std::string& text) override;
    void Step(const StageProgress& progress) override;
    void Outcome(int failedStage, const char* detail, double seconds) override;
    void Cancelled() override;
    void Interrupted(int stage, int signal, const char* detail) override;
    void VersionAfter(const std::optional<std::string>& deviceVersion) override;
    void Skipped() override;
    void BootstrapHookFailed(const std::string& detail) override;
    void RestartChecked(bool ok, const std::string& detail) override;
    void UnitId(const std::string& id) override;
    void Hook(const char* name) override;
    void Ended(UnitOutcome outcome) override;

private:
    void EnterStage(int stage);
    void Result(UnitOutcome outcome, const char* detail);

    const ProgressPlan& m_plan;
    UnitWatcher& m_watcher;
    UnitStatus m_status;
};
