// The update as a script sees it: one JSON object per line. The events and
// their fields are listed in the README.

#include "ProgressPlan.h"
#include "UpdateMessages.h"
#include "UpdateReport.h"

#include <chrono>
#include <cstring>

namespace {

std::string Quoted(const char* text)
{
    std::string json = "\"";
    for (const char* c = text; *c; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte == '"' || byte == '\\') {
            json += '\\';
            json += *c;
        } else if (byte == '\n') {
            json += "\\n";
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else {
            json += *c;
        }
    }
    return json + "\"";
}

std::string Version(const std::optional<std::string>& version) { return version ? Quoted(version->c_str()) : "null"; }

class JsonReport : public UpdateReport {
public:
    JsonReport(std::FILE* out, const ProgressPlan& plan) : m_out(out), m_plan(plan) {}

    void Start(const std::string& port, const std::optional<std::string>& deviceVersion) override
    {
        Emit("{\"event\":\"start\",\"port\":" + Quoted(port.c_str()) + ",\"firmware\":" +
             Quoted(kCarriedFirmwareVersion) + ",\"device_version\":" + Version(deviceVersion) + "}");
    }

    void Note(const std::string&) override {}

    void Step(const StageProgress& progress) override
    {
        Enter(progress.stage);
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastProgress < std::chrono::milliseconds(100))
            return;
        m_lastProgress = now;
        char percent[16];
        std::snprintf(percent, sizeof percent, "%.1f", 100.0 * m_plan.Fraction(progress));
        Emit("{\"event\":\"progress\",\"stage\":" + std::to_string(progress.stage) + ",\"step\":" +
             Quoted(progress.step) + ",\"done\":" + std::to_string(progress.done) + ",\"total\":" +
             std::to_string(progress.total) + ",\"percent\":" + percent + "}");
    }

    void Outcome(int failedStage, const char* detail, double seconds) override
    {
        if (failedStage != 0) {
            Enter(failedStage);
            StageEnd(false);
            Emit("{\"event\":\"result\",\"ok\":false,\"stage\":" + std::to_string(failedStage) + ",\"message\":" +
                 Quoted(kStageFailureMessages[failedStage]) + ",\"detail\":" + Quoted(detail ? detail : "") + "}");
            return;
        }
        StageEnd(true);
        char elapsed[32];
        std::snprintf(elapsed, sizeof elapsed, "%.1f", seconds);
        Emit(std::string("{\"event\":\"result\",\"ok\":true,\"seconds\":") + elapsed + "}");
    }

    void Cancelled() override { Emit("{\"event\":\"result\",\"ok\":false,\"cancelled\":true}"); }

    void Interrupted(int stage, int signal, const char* detail) override
    {
        if (stage != 0) {
            Enter(stage);
            StageEnd(false);
        }
        Emit("{\"event\":\"result\",\"ok\":false,\"interrupted\":true,\"signal\":" + std::to_string(signal) +
             ",\"stage\":" + std::to_string(stage) + ",\"detail\":" + Quoted(detail ? detail : "") + "}");
    }

    void VersionAfter(const std::optional<std::string>& deviceVersion) override
    {
        Emit("{\"event\":\"version\",\"device_version\":" + Version(deviceVersion) + "}");
    }

private:
    // Ends the stage under way, if another one begins; a stage that fails
    // before its first step has still begun.
    void Enter(int stage)
    {
        if (stage == m_stage)
            return;
        StageEnd(true);
        m_stage = stage;
        Emit("{\"event\":\"stage_begin\",\"stage\":" + std::to_string(stage) + ",\"name\":" +
             Quoted(StageTitle(stage)) + "}");
    }

    void StageEnd(bool ok)
    {
        if (m_stage == 0)
            return;
        Emit("{\"event\":\"stage_end\",\"stage\":" + std::to_string(m_stage) + ",\"ok\":" + (ok ? "true" : "false") +
             "}");
        m_stage = 0;
    }

    void Emit(const std::string& line)
    {
        std::fprintf(m_out, "%s\n", line.c_str());
        std::fflush(m_out);
    }

    std::FILE* m_out;
    const ProgressPlan& m_plan;
    int m_stage = 0; // the stage under way
    std::chrono::steady_clock::time_point m_lastProgress{};
};

} // namespace

std::unique_ptr<UpdateReport> MakeJsonReport(std::FILE* out, const ProgressPlan& plan)
{
    return std::make_unique<JsonReport>(out, plan);
}
