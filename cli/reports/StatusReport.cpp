#include "StatusReport.h"

#include "ProgressPlan.h"
#include "UpdateMessages.h"

#include <cmath>

namespace {

double OneDecimal(double value) { return std::round(value * 10.0) / 10.0; }

} // namespace

void StatusReport::Start(const std::string& port, const std::optional<std::string>& deviceVersion)
{
    m_status.port = port;
    m_status.versionBefore = deviceVersion;
    m_watcher.Changed(m_status, UnitChange::Started);
}

void StatusReport::PortUnavailable(const std::string& text)
{
    m_status.outcome = UnitOutcome::PortUnavailable;
    m_status.error += text + "\n";
    m_watcher.Changed(m_status, UnitChange::Error);
}

void StatusReport::Step(const StageProgress& progress)
{
    EnterStage(progress.stage);
    m_status.step = StepText(progress.step);
    m_status.done = progress.done;
    m_status.total = progress.total;
    m_status.percent = OneDecimal(100.0 * m_plan.Fraction(progress));
    m_watcher.Changed(m_status, UnitChange::Progress);
}

void StatusReport::Outcome(int failedStage, const char* detail, double seconds)
{
    if (failedStage == 0) {
        m_status.percent = 100;
        m_status.seconds = seconds;
        m_status.note = detail ? detail : "";
        Result(UnitOutcome::Done, "");
        return;
    }
    EnterStage(failedStage);
    m_status.failedStage = failedStage;
    m_status.message = StageFailureMessage(failedStage);
    Result(UnitOutcome::Failed, detail);
}

void StatusReport::Cancelled() { Result(UnitOutcome::Cancelled, ""); }

void StatusReport::Interrupted(int stage, int signal, const char* detail)
{
    if (stage != 0)
        EnterStage(stage);
    m_status.failedStage = stage;
    m_status.signal = signal;
    Result(UnitOutcome::Interrupted, detail);
}

void StatusReport::VersionAfter(const std::optional<std::string>& deviceVersion)
{
    m_status.versionAfter = deviceVersion;
    m_watcher.Changed(m_status, UnitChange::VersionAfter);
}

void StatusReport::Skipped() { Result(UnitOutcome::Skipped, ""); }

void StatusReport::BootstrapHookFailed(const std::string& detail) { Result(UnitOutcome::Failed, detail.c_str()); }

void StatusReport::RestartChecked(bool ok, const std::string& detail)
{
    if (ok)
        return;
    m_status.outcome = UnitOutcome::Failed;
    m_status.detail = "after the power cycle: " + detail;
    m_watcher.Changed(m_status, UnitChange::RestartFailed);
}

void StatusReport::UnitId(const std::string& id)
{
    m_status.unit = id;
    m_watcher.Changed(m_status, UnitChange::Started);
}

void StatusReport::Hook(const char* name)
{
    m_status.hook = name ? name : "";
    m_watcher.Changed(m_status, UnitChange::Hook);
}

void StatusReport::Ended(UnitOutcome outcome)
{
    m_status.outcome = outcome;
    m_status.bEnded = true;
    m_watcher.Changed(m_status, UnitChange::Ended);
}

void StatusReport::EnterStage(int stage)
{
    if (stage == m_status.stage)
        return;
    m_status.stage = stage;
    m_status.step.clear();
    m_status.done = m_status.total = 0;
    m_watcher.Changed(m_status, UnitChange::StageBegun);
}

void StatusReport::Result(UnitOutcome outcome, const char* detail)
{
    m_status.outcome = outcome;
    m_status.detail = detail ? detail : "";
    m_watcher.Changed(m_status, UnitChange::Result);
}
