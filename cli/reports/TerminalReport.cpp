// The update as a person sees it: on a terminal one line redrawn in place
// (stage, step, bar, percent of the whole update, time left); otherwise one
// line per step as it completes, with true counts.

#include "ConsoleOutput.h"
#include "ProgressPlan.h"
#include "UpdateMessages.h"
#include "UpdateReport.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

class TerminalReport : public UpdateReport {
public:
    TerminalReport(std::FILE* out, std::FILE* err, bool quiet, const ProgressPlan& plan)
        : m_out(out), m_err(err), m_bQuiet(quiet), m_bTerminal(IsTerminal(out)), m_plan(plan)
    {
    }

    void Start(const std::string& port, const std::optional<std::string>& deviceVersion) override
    {
        if (!m_bQuiet)
            std::fprintf(m_out, "Port:                      %s\n", port.c_str());
        std::fprintf(m_out, "This Firmware Version:     %s\n", kCarriedFirmwareVersion);
        std::fprintf(m_out, "Version In Your Kestrune:  %s\n",
                     deviceVersion ? deviceVersion->c_str() : kUnknownVersion);
        std::fflush(m_out);
    }

    void Note(const std::string& text) override
    {
        if (!m_bQuiet)
            std::fprintf(m_out, "%s\n", text.c_str());
        std::fflush(m_out);
    }

    void PortUnavailable(const std::string& text) override
    {
        std::fputs(text.c_str(), m_err);
        std::fflush(m_err);
    }

    void Step(const StageProgress& progress) override
    {
        if (m_bQuiet)
            return;
        const bool newStep = progress.stage != m_current.stage || progress.step != m_current.step;
        if (!m_bTerminal) {
            if (newStep)
                EndStepLine("");
            m_current = progress;
            if (progress.total && progress.done == progress.total)
                EndStepLine("");
            return;
        }
        m_current = progress;
        if (m_started == Clock::time_point{})
            m_started = Clock::now();
        // At most ten redraws a second, but every new step and every end shows.
        const auto now = Clock::now();
        if (!newStep && progress.done != progress.total && now - m_lastDraw < std::chrono::milliseconds(100))
            return;
        m_lastDraw = now;
        Draw();
    }

    void Outcome(int failedStage, const char* detail, double seconds) override
    {
        EndProgress(failedStage != 0 ? "stopped here" : "");
        if (failedStage != 0) {
            std::fprintf(m_err, "%s: %s\n", kErrorCaption, StageFailureMessage(failedStage));
            if (detail && *detail)
                std::fprintf(m_err, "  %s\n", detail);
            std::fprintf(m_err, "Put the Kestrune into bootstrap mode again and repeat the update.\n");
            return;
        }
        std::fprintf(m_out, "Firmware update was successful (%.1f s).\n", seconds);
        if (detail && *detail)
            std::fprintf(m_out, "  Note: %s.\n", detail);
        std::fflush(m_out);
    }

    void Cancelled() override
    {
        std::fprintf(m_err, "Update cancelled. Only the version query was sent; the Kestrune is unchanged.\n");
    }

    void Interrupted(int stage, int signal, const char* detail) override
    {
        EndProgress("interrupted");
        const char* how = signal == SIGTERM ? "Terminated" : "Interrupted";
        if (stage == 0) {
            std::fprintf(m_err, "%s before the update began; nothing was sent for it.\n", how);
            return;
        }
        std::fprintf(m_err, "%s during stage %d (%s).\n", how, stage, StageTitle(stage));
        if (detail && *detail)
            std::fprintf(m_err, "  %s\n", detail);
        std::fprintf(m_err, "Put the Kestrune into bootstrap mode again for a new update.\n");
    }

    void VersionAfter(const std::optional<std::string>& deviceVersion) override
    {
        std::fprintf(m_out, "Version In Your Kestrune:  %s\n",
                     deviceVersion ? deviceVersion->c_str() : kUnknownVersion);
        std::fflush(m_out);
    }

    void Skipped() override
    {
        std::fprintf(m_out, "The Kestrune already runs %s: not updated (--skip-current).\n", kCarriedFirmwareVersion);
        std::fflush(m_out);
    }

    void BootstrapHookFailed(const std::string& detail) override
    {
        std::fprintf(m_err, "The bootstrap hook failed; nothing was sent for the update.\n  %s\n", detail.c_str());
    }

    void UnitIdMissing(const std::string& detail) override
    {
        std::fprintf(m_err, "No id came for the unit; nothing was sent for the update.\n  %s\n", detail.c_str());
    }

    void RestartChecked(bool ok, const std::string& detail) override
    {
        if (!ok)
            std::fprintf(m_err, "%s: after the power cycle: %s\n", kErrorCaption, detail.c_str());
    }

private:
    void Draw()
    {
        constexpr int kWidth = 30;
        const double fraction = m_plan.Fraction(m_current);
        const int filled = static_cast<int>(kWidth * fraction);
        const double elapsed = std::chrono::duration<double>(Clock::now() - m_started).count();
        // Time left: what the plan still expects, at the pace seen so far.
        const double pace = fraction > 0.02 ? elapsed / (fraction * m_plan.TotalMs() / 1000.0) : 1.0;
        const int left = static_cast<int>(std::lround((1.0 - fraction) * m_plan.TotalMs() / 1000.0 * pace));
        std::fprintf(m_out, "\r[%d/4] %-20s %-8s [%.*s%*s] %3d%%  %d:%02d left ", m_current.stage,
                     StageTitle(m_current.stage), StepText(m_current.step), filled, "##############################",
                     kWidth - filled, "", static_cast<int>(fraction * 100), left / 60, left % 60);
        std::fflush(m_out);
        m_bLineOpen = true;
    }

    // One line for the step that ended or stopped, when not on a terminal.
    void EndStepLine(const char* remark)
    {
        if (m_current.stage == 0)
            return;
        std::fprintf(m_out, "[%d/4] %-20s %-8s %u/%u%s%s\n", m_current.stage, StageTitle(m_current.stage),
                     StepText(m_current.step), m_current.done, m_current.total, *remark ? "  " : "", remark);
        std::fflush(m_out);
        m_current = StageProgress{};
    }

    void EndProgress(const char* remark)
    {
        if (m_bQuiet)
            return;
        if (!m_bTerminal) {
            EndStepLine(remark);
            return;
        }
        if (m_bLineOpen) {
            Draw();
            std::fputc('\n', m_out);
        }
        m_bLineOpen = false;
    }

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_bQuiet;
    bool m_bTerminal;
    const ProgressPlan& m_plan;
    StageProgress m_current{};
    bool m_bLineOpen = false;
    Clock::time_point m_started{};
    Clock::time_point m_lastDraw{};
};

} // namespace

const char* StageTitle(int stage) { return StageText(static_cast<UpdateStage>(stage)); }

std::unique_ptr<UpdateReport> MakeTerminalReport(std::FILE* out, std::FILE* err, bool quiet, const ProgressPlan& plan)
{
    return std::make_unique<TerminalReport>(out, err, quiet, plan);
}
