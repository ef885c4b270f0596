#include "BenchReport.h"

#include "CliExit.h"
#include "UpdateMessages.h"
#include "UpdateReport.h"

#include "ConsoleOutput.h"

#include <chrono>
#include <cmath>

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

std::string Result(const BenchUnit& unit)
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

} // namespace

bool UnitSucceeded(const BenchUnit& unit)
{
    return unit.status.outcome == UnitOutcome::Done || unit.status.outcome == UnitOutcome::Skipped;
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
        Line(unit, Result(unit) + ": " + status.detail);
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
    if (m_drawnLines)
        std::fprintf(m_out, "\033[%zuA", m_drawnLines); // back to the first status line
    for (const BenchUnit& unit : units) {
        const UnitStatus& status = unit.status;
        std::fprintf(m_out, "\r\033[K%-24s [%d/4] %-20s %-8s %5.1f%%  %s\n", unit.name.c_str(), status.stage,
                     status.stage ? StageTitle(status.stage) : "", status.step.c_str(), status.percent,
                     Result(unit).c_str());
    }
    m_drawnLines = units.size();
    std::fflush(m_out);
}

void BenchReport::Table(const std::vector<BenchUnit>& units, const std::string& recordFailure)
{
    if (!m_bJson) {
        Redraw(units, true);
        TableHeader();
        for (const BenchUnit& unit : units)
            TableRow(unit);
    }
    size_t updated = 0, skipped = 0;
    for (const BenchUnit& unit : units) {
        updated += unit.status.outcome == UnitOutcome::Done ? 1 : 0;
        skipped += unit.status.outcome == UnitOutcome::Skipped ? 1 : 0;
    }
    Totals(updated, skipped, units.size(), recordFailure);
}

void BenchReport::Row(const BenchUnit& unit)
{
    if (m_bJson)
        return;
    if (m_bTerminal && m_drawnLines) {
        std::fprintf(m_out, "\033[%zuA\r\033[J", m_drawnLines); // the status lines go below the row
        m_drawnLines = 0;
    }
    if (!m_bRowsBegun)
        TableHeader();
    m_bRowsBegun = true;
    TableRow(unit);
    std::fflush(m_out);
    m_lastDraw = -1; // the status lines again at once
}

void BenchReport::TableHeader()
{
    std::fprintf(m_out, "\n%-24s %-16s %-9s %7s  %-7s  %s\n", "Device", "Result", "Stage", "Time", "Version", "Detail");
}

void BenchReport::TableRow(const BenchUnit& unit)
{
    const UnitStatus& status = unit.status;
    const std::string stage = status.failedStage ? std::to_string(status.failedStage) + "/4" : "-";
    const std::string version =
        status.versionAfter && !status.versionAfter->empty() ? *status.versionAfter : std::string("-");
    // The unit's id after its slot's name, where one was given.
    const std::string name = status.unit.empty() ? unit.name : unit.name + " " + status.unit;
    std::fprintf(m_out, "%-24s %-16s %-9s %6.1fs  %-7s  %s%s%s\n", name.c_str(), Result(unit).c_str(), stage.c_str(),
                 unit.seconds, version.c_str(), StageFailureMessage(status.failedStage),
                 status.failedStage && !status.detail.empty() ? " " : "",
                 UnitSucceeded(unit) ? status.note.c_str() : status.detail.c_str());
}

void BenchReport::Totals(size_t updated, size_t skipped, size_t units, const std::string& recordFailure)
{
    if (m_bJson) {
        JsonEvent result = {{"event", "bench_result"},
                            {"ok", updated + skipped == units && recordFailure.empty()},
                            {"updated", updated},
                            {"devices", units}};
        if (skipped)
            result["skipped"] = skipped;
        if (!recordFailure.empty())
            result["record_error"] = recordFailure;
        Emit(result);
        return;
    }
    std::fprintf(m_out, "%zu of %zu updated", updated, units);
    if (skipped)
        std::fprintf(m_out, ", %zu skipped (already %s)", skipped, kCarriedFirmwareVersion);
    std::fprintf(m_out, ".\n");
    if (!recordFailure.empty())
        std::fprintf(m_out, "The record is incomplete: %s.\n", recordFailure.c_str());
    std::fflush(m_out);
}
