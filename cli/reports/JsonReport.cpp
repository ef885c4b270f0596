// The update's JSON events and their fields, as the README lists them.

#include "JsonReport.h"

#include "ProgressPlan.h"
#include "UpdateMessages.h"

#include <chrono>
#include <cmath>

namespace {

// Percent and seconds go out with one decimal.
double OneDecimal(double value) { return std::round(value * 10.0) / 10.0; }

JsonEvent Version(const std::optional<std::string>& version)
{
    return version ? JsonEvent(*version) : JsonEvent(nullptr);
}

class JsonReport : public UpdateReport {
public:
    JsonReport(JsonEventSink& sink, const ProgressPlan& plan) : m_sink(sink), m_plan(plan) {}

    void Start(const std::string& port, const std::optional<std::string>& deviceVersion) override
    {
        Send({{"event", "start"},
              {"port", port},
              {"firmware", kCarriedFirmwareVersion},
              {"device_version", Version(deviceVersion)}});
    }

    void Note(const std::string&) override {}
    void PortUnavailable(const std::string& text) override { m_sink.Error(text + "\n"); }

    void Step(const StageProgress& progress) override
    {
        Enter(progress.stage);
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastProgress < std::chrono::milliseconds(100))
            return;
        m_lastProgress = now;
        Send({{"event", "progress"},
              {"stage", progress.stage},
              {"step", StepText(progress.step)},
              {"done", progress.done},
              {"total", progress.total},
              {"percent", OneDecimal(100.0 * m_plan.Fraction(progress))}});
    }

    void Outcome(int failedStage, const char* detail, double seconds) override
    {
        if (failedStage == 0) {
            StageEnd(true);
            // Held until the unit's end: the restart may yet fail it.
            m_pendingResult = {{"event", "result"}, {"ok", true}, {"seconds", OneDecimal(seconds)}};
            if (detail && *detail)
                m_pendingResult["note"] = detail;
            return;
        }
        Enter(failedStage);
        StageEnd(false);
        Send({{"event", "result"},
              {"ok", false},
              {"stage", failedStage},
              {"message", StageFailureMessage(failedStage)},
              {"detail", detail ? detail : ""}});
    }

    void Cancelled() override { Send({{"event", "result"}, {"ok", false}, {"cancelled", true}}); }

    void Interrupted(int stage, int signal, const char* detail) override
    {
        if (stage != 0) {
            Enter(stage);
            StageEnd(false);
        }
        Send({{"event", "result"},
              {"ok", false},
              {"interrupted", true},
              {"signal", signal},
              {"stage", stage},
              {"detail", detail ? detail : ""}});
    }

    void VersionAfter(const std::optional<std::string>& deviceVersion) override
    {
        Send({{"event", "version"}, {"device_version", Version(deviceVersion)}});
    }

    void UnitId(const std::string& id) override { m_unit = id; }
    void UnitIdMissing(const std::string& detail) override
    {
        Send({{"event", "result"}, {"ok", false}, {"hook", "unit-id"}, {"detail", detail}});
    }

    void Skipped() override { Send({{"event", "result"}, {"ok", true}, {"skipped", true}}); }

    void BootstrapHookFailed(const std::string& detail) override
    {
        Send({{"event", "result"}, {"ok", false}, {"hook", "bootstrap"}, {"detail", detail}});
    }

    void RestartChecked(bool ok, const std::string& detail) override
    {
        Send({{"event", "restart"}, {"ok", ok}, {"detail", detail}});
        if (!ok && !m_pendingResult.is_null())
            m_pendingResult.update({{"ok", false}, {"restart", false}, {"detail", detail}});
    }

    // One verdict per unit: the stages' success is told once the power
    // cycle has been checked, as the unit's final outcome.
    void Ended(UnitOutcome) override
    {
        if (!m_pendingResult.is_null())
            Send(m_pendingResult);
        m_pendingResult = nullptr;
    }

private:
    // With the unit's id after the event's name, where it has one.
    void Send(const JsonEvent& event)
    {
        if (m_unit.empty())
            return m_sink.Event(event);
        JsonEvent tagged = {{"event", event["event"]}, {"unit", m_unit}};
        tagged.update(event);
        m_sink.Event(tagged);
    }

    // Ends the stage under way, if another one begins; a stage that fails
    // before its first step has still begun.
    void Enter(int stage)
    {
        if (stage == m_stage)
            return;
        StageEnd(true);
        m_stage = stage;
        Send({{"event", "stage_begin"}, {"stage", stage}, {"name", StageTitle(stage)}});
    }

    void StageEnd(bool ok)
    {
        if (m_stage == 0)
            return;
        Send({{"event", "stage_end"}, {"stage", m_stage}, {"ok", ok}});
        m_stage = 0;
    }

    JsonEventSink& m_sink;
    const ProgressPlan& m_plan;
    int m_stage = 0;           // the stage under way
    JsonEvent m_pendingResult; // the stages' success, until the unit ends
    std::string m_unit;        // its id, or ""
    std::chrono::steady_clock::time_point m_lastProgress{};
};

} // namespace

std::string JsonLine(const JsonEvent& event)
{
    // Plain ASCII; a byte that is not UTF-8 (none should reach here: device
    // text comes escaped) becomes U+FFFD instead of breaking the line.
    return event.dump(-1, ' ', true, JsonEvent::error_handler_t::replace);
}

void JsonLineSink::Event(const JsonEvent& event)
{
    std::fprintf(m_out, "%s\n", JsonLine(event).c_str());
    std::fflush(m_out);
}

void JsonLineSink::Error(const std::string& text)
{
    std::fputs(text.c_str(), m_err);
    std::fflush(m_err);
}

std::unique_ptr<UpdateReport> MakeJsonReport(JsonEventSink& sink, const ProgressPlan& plan)
{
    return std::make_unique<JsonReport>(sink, plan);
}
