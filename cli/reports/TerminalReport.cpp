// The update as a person sees it: on a terminal one line redrawn in place
// (stage, step, bar, percent of the whole update, time left); otherwise one
// line per step as it completes, with true counts.

#include "ConsoleOutput.h"
#include "ProgressPlan.h"
#include "TerminalWidth.h"
#include "UpdateMessages.h"
#include "UpdateReport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kNoRealDevice[] = "no real device was touched";
constexpr char kNameARealOne[] = "Simulated; for a real one use --device PATH or --port N.";

constexpr int kTitleWidth = 20; // the longest stage's title
constexpr int kStepWidth = 8;
constexpr int kBarWidth = 30;
constexpr int kShortestBar = 5; // less than this and the line goes without one

// "[3/4] FPGA firmware        erase    [#########        ]  42%  0:12 left" in
// at most columns: the bar shrinks first, then goes; then the stage's title
// is shortened in its middle; what still does not fit is cut.
std::string ProgressLine(const StageProgress& progress, double fraction, int left, size_t columns)
{
    char tail[64];
    std::snprintf(tail, sizeof tail, " %3d%%  %d:%02d left", static_cast<int>(fraction * 100), left / 60, left % 60);
    char step[32];
    std::snprintf(step, sizeof step, " %-*s", kStepWidth, StepText(progress.step));
    char head[16];
    std::snprintf(head, sizeof head, "[%d/4] ", progress.stage);
    const std::string title = StageTitle(progress.stage);
    const size_t fixed = std::strlen(head) + kTitleWidth + std::strlen(step) + std::strlen(tail);
    // " [" and "]" around the bar
    const int room = columns > fixed + 3 ? static_cast<int>(columns - fixed - 3) : 0;
    const int bar = std::min(kBarWidth, room);
    std::string line = head;
    if (bar >= kShortestBar) {
        line += title + std::string(kTitleWidth - title.size(), ' ') + step + " [";
        const int filled = static_cast<int>(bar * fraction);
        line += std::string(filled, '#') + std::string(bar - filled, ' ') + "]";
    } else {
        const size_t others = std::strlen(head) + std::strlen(step) + std::strlen(tail);
        const size_t titleRoom = std::min<size_t>(kTitleWidth, columns > others ? columns - others : 0);
        const std::string shown = ShortenMiddle(title, titleRoom);
        line += shown + std::string(titleRoom - shown.size(), ' ') + step;
    }
    line += tail;
    return line.substr(0, columns);
}

class TerminalReport : public UpdateReport {
public:
    TerminalReport(std::FILE* out, std::FILE* err, bool quiet, const ProgressPlan& plan, bool simulated)
        : m_out(out), m_err(err), m_bQuiet(quiet), m_bTerminal(IsTerminal(out)), m_bSimulated(simulated), m_plan(plan)
    {
    }

    void Start(const std::string& port, const std::optional<std::string>& deviceVersion) override
    {
        // An owner with a real unit plugged in must not take the simulated
        // one's update for theirs.
        if (m_bSimulated)
            std::fprintf(m_out, "Simulated Kestrune: no real device is touched.\nPort:                      %s\n",
                         port.c_str());
        else if (!m_bQuiet)
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
        std::fprintf(m_err, "%s\n", text.c_str());
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
            if (m_bSimulated)
                std::fprintf(m_err, "%s\n", kNameARealOne);
            return;
        }
        std::fprintf(m_out, "Firmware update was successful (%.1f s).\n", seconds);
        if (m_bSimulated)
            std::fprintf(m_out, "Simulated Kestrune updated; %s.\n", kNoRealDevice);
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
        if (m_bSimulated)
            std::fprintf(m_out, "%s\n", kNameARealOne);
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
        std::fprintf(m_err, "No id of its own came for the unit; nothing was sent for the update.\n  %s\n",
                     detail.c_str());
    }

    void RestartChecked(bool ok, const std::string& detail) override
    {
        if (!ok)
            std::fprintf(m_err, "%s: after the power cycle: %s\n", kErrorCaption, detail.c_str());
    }

private:
    void Draw()
    {
        const double fraction = m_plan.Fraction(m_current);
        const double elapsed = std::chrono::duration<double>(Clock::now() - m_started).count();
        const int left = m_timeLeft.Seconds(fraction, elapsed);
        const std::string line = ProgressLine(m_current, fraction, left, UsableColumns(m_out));
        // A console without escape sequences: blanks over what a longer line left.
        const size_t blanks = m_drawnWidth > line.size() ? m_drawnWidth - line.size() : 0;
        std::fprintf(m_out, "\r%s%*s", line.c_str(), static_cast<int>(blanks), "");
        if (blanks)
            std::fprintf(m_out, "\r%s", line.c_str());
        std::fflush(m_out);
        m_drawnWidth = line.size();
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
        m_drawnWidth = 0;
    }

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_bQuiet;
    bool m_bTerminal;
    bool m_bSimulated;
    const ProgressPlan& m_plan;
    StageProgress m_current{};
    bool m_bLineOpen = false;
    Clock::time_point m_started{};
    Clock::time_point m_lastDraw{};
    TimeLeft m_timeLeft{m_plan.TotalMs()};
    size_t m_drawnWidth = 0;
};

} // namespace

const char* StageTitle(int stage) { return StageText(static_cast<UpdateStage>(stage)); }

std::unique_ptr<UpdateReport> MakeTerminalReport(std::FILE* out, std::FILE* err, bool quiet, const ProgressPlan& plan,
                                                 bool simulated)
{
    return std::make_unique<TerminalReport>(out, err, quiet, plan, simulated);
}
