#include "StatusReport.h"

#include "ProgressPlan.h"
#include "UpdateMessages.h"

#include <cmath>
#include <cstring>
#include <optional>

namespace {

double OneDecimal(double value) { return std::round(value * 10.0) / 10.0; }

// The step an exchange belongs to (the version query belongs to none).
std::optional<UpdateStep> StepOf(LinkExchange exchange)
{
    switch (exchange) {
    case LinkExchange::DownloadStart:
    case LinkExchange::Download: return UpdateStep::Download;
    case LinkExchange::SignOn: return UpdateStep::SignOn;
    case LinkExchange::Clear:
    case LinkExchange::WriteBlock: return UpdateStep::Write;
    case LinkExchange::ReadBlock: return UpdateStep::Verify;
    case LinkExchange::Jump:
    case LinkExchange::Ping: return UpdateStep::Start;
    case LinkExchange::FlashId:
    case LinkExchange::Erase: return UpdateStep::Erase;
    case LinkExchange::Program: return UpdateStep::Program;
    default: return std::nullopt;
    }
}

// The link's findings that name no exchange, and the step each ends.
struct Finding {
    const char* opening;
    UpdateStep step;
};
constexpr Finding kFindings[] = {
    {"echo differs", UpdateStep::Download},
    {"no sign-on", UpdateStep::SignOn},
    {"read-back of block", UpdateStep::Verify},
    {"flash device code", UpdateStep::Erase},
};

// The step a stage failed in, as its failure's detail names it: by the
// exchange it opens with ("page 0xB800 of bank 2: ..."), or by the link's
// own finding. The steps reported before it are those that ended, so the
// last of them is not always the one that failed. "" where the detail
// names none (a line setting the port refused).
std::string FailedStep(const std::string& detail)
{
    for (const Finding& finding : kFindings)
        if (detail.starts_with(finding.opening))
            return StepText(finding.step);
    std::optional<UpdateStep> step;
    size_t longest = 0; // "download start" before "download"
    for (int i = 0; i <= static_cast<int>(LinkExchange::Version); ++i) {
        const auto exchange = static_cast<LinkExchange>(i);
        const size_t length = std::strlen(ExchangeText(exchange));
        if (length > longest && detail.starts_with(ExchangeText(exchange)) && detail.size() > length &&
            (detail[length] == ' ' || detail[length] == ':')) {
            step = StepOf(exchange);
            longest = length;
        }
    }
    return step ? StepText(*step) : "";
}

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
    if (const std::string step = FailedStep(detail ? detail : ""); !step.empty())
        m_status.step = step;
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
