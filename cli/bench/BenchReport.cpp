#include "BenchReport.h"

#include "CliExit.h"
#include "UpdateMessages.h"
#include "UpdateReport.h"

#include "ConsoleOutput.h"
#include "TerminalWidth.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// What a unit's line says when its stages ended, or it ended before them.
std::string ResultLine(const UnitStatus& status)
{
    switch (status.outcome) {
    case UnitOutcome::Skipped: return std::string("skipped: it already runs ") + kCarriedFirmwareVersion;
    case UnitOutcome::Done: return "updated";
    default:
        return status.failedStage ? "stopped in stage " + std::to_string(status.failedStage) + ": " + status.detail
                                  : "failed: " + status.detail;
    }
}

// What a unit's row says: what runs now, or how it ended.
std::string RowState(const BenchUnit& unit)
{
    const UnitStatus& status = unit.status;
    if (unit.bFinished)
        return status.failedStage
                   ? ResultWord(unit) + " in stage " + std::to_string(status.failedStage) + " " + status.step
                   : ResultWord(unit);
    if (!status.hook.empty())
        return status.hook + " hook";
    if (status.stage == 0)
        return "waiting";
    char text[96];
    std::snprintf(text, sizeof text, "[%d/4] %-20s %-8s %5.1f%%", status.stage, StageTitle(status.stage),
                  status.step.c_str(), status.percent);
    return text;
}

} // namespace

bool UnitSucceeded(const BenchUnit& unit)
{
    return unit.status.outcome == UnitOutcome::Done || unit.status.outcome == UnitOutcome::Skipped;
}

std::string ResultWord(const BenchUnit& unit)
{
    if (!unit.bFinished)
        return "running";
    switch (unit.status.outcome) {
    case UnitOutcome::Done: return "updated";
    case UnitOutcome::Skipped: return "skipped";
    case UnitOutcome::Failed: return "failed";
    case UnitOutcome::PortUnavailable: return "port unavailable";
    case UnitOutcome::Interrupted: return "interrupted";
    default: return unit.status.failedStage ? "failed" : "error";
    }
}

BenchReport::BenchReport(std::FILE* out, bool json) : m_out(out), m_bJson(json), m_bTerminal(TerminalTakesEscapes(out))
{
}

void BenchReport::Line(const BenchUnit& unit, const std::string& text)
{
    if (!m_bTerminal && !m_bJson) {
        std::fprintf(m_out, "%-24s %s\n", unit.name.c_str(), text.c_str());
        std::fflush(m_out);
    }
}

void BenchReport::Changed(BenchUnit& unit, const UnitStatus& status, UnitChange change)
{
    unit.status = status;
    switch (change) {
    case UnitChange::Started: Line(unit, "version before: " + status.versionBefore.value_or(kUnknownVersion)); break;
    case UnitChange::StageBegun:
        Line(unit, "stage " + std::to_string(status.stage) + " " + StageTitle(status.stage));
        break;
    case UnitChange::Result: Line(unit, ResultLine(status)); break;
    case UnitChange::VersionAfter:
        if (status.versionAfter)
            Line(unit, "version after: " + *status.versionAfter);
        break;
    case UnitChange::RestartFailed: Line(unit, status.detail); break;
    default: break;
    }
}

void BenchReport::Event(const BenchUnit& unit, const JsonEvent& event)
{
    JsonEvent tagged = {{"device", unit.name}};
    tagged.update(event);
    Emit(tagged);
}

void BenchReport::Finished(BenchUnit& unit, UnitOutcome outcome)
{
    UnitStatus& status = unit.status;
    unit.bFinished = true;
    status.outcome = outcome;
    status.bEnded = true;
    const int exit = ExitStatus(outcome);
    if (status.detail.empty() && !status.error.empty())
        status.detail = status.error.substr(0, status.error.find('\n'));
    const bool ok = UnitSucceeded(unit);
    if (!ok && status.failedStage == 0 && status.detail.empty())
        status.detail = "exit status " + std::to_string(exit);
    if (m_bJson) {
        JsonEvent finished = {{"device", unit.name}, {"event", "finished"}};
        if (!status.unit.empty())
            finished["unit"] = status.unit;
        finished.update({{"exit", exit}, {"seconds", std::round(unit.seconds * 10.0) / 10.0}, {"error", status.error}});
        Emit(finished);
    } else if (!ok && status.failedStage == 0) {
        Line(unit, ResultWord(unit) + ": " + status.detail);
    }
}

void BenchReport::Emit(const JsonEvent& event)
{
    std::fprintf(m_out, "%s\n", JsonLine(event).c_str());
    std::fflush(m_out);
}

void BenchReport::Redraw(const std::vector<BenchUnit>& units, bool force)
{
    if (!m_bTerminal || m_bJson || (!force && Now() - m_lastDraw < 0.1))
        return;
    m_lastDraw = Now();
    // Each row within the terminal's width, so that each is one line and the
    // block goes back up by as many lines as it has.
    const size_t columns = UsableColumns(m_out);
    std::vector<std::string> states;
    size_t nameWidth = 0, stateWidth = 0;
    for (const BenchUnit& unit : units) {
        states.push_back(RowState(unit));
        nameWidth = std::max(nameWidth, unit.name.size());
        stateWidth = std::max(stateWidth, states.back().size());
    }
    nameWidth = std::min(nameWidth, columns > stateWidth + 1 ? columns - stateWidth - 1 : kShortestName);
    nameWidth = std::max(nameWidth, std::min(kShortestName, columns));
    Erase();
    for (size_t i = 0; i < units.size(); ++i) {
        const std::string name = ShortenMiddle(units[i].name, nameWidth);
        const std::string row = name + std::string(nameWidth - name.size(), ' ') + " " + states[i];
        std::fprintf(m_out, "\r\033[K%s\n", row.substr(0, columns).c_str());
    }
    m_drawnLines = units.size();
    std::fflush(m_out);
}

void BenchReport::Above(const std::vector<BenchUnit>& units, std::FILE* stream, const std::string& line)
{
    if (m_bTerminal && !m_bJson)
        Erase();
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
    if (m_bTerminal && !m_bJson && !units.empty())
        Redraw(units, true);
}

// Back to the block's first line, and everything from there cleared.
void BenchReport::Erase()
{
    if (m_drawnLines)
        std::fprintf(m_out, "\033[%zuA\r\033[J", m_drawnLines);
    m_drawnLines = 0;
    std::fflush(m_out);
}
