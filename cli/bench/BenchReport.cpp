#include "BenchReport.h"

#include "CliExit.h"
#include "UpdateMessages.h"
#include "UpdateReport.h"

#include "ConsoleOutput.h"
#include "TerminalWidth.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

constexpr size_t kShortestName = 12;
constexpr size_t kTableName = 24;       // the name column off a terminal
constexpr size_t kTableColumns = 46;    // a row's without its name and detail
constexpr size_t kNarrowestDetail = 24; // less, and the detail goes under the row

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

// What a unit's row says: what runs now, or how it ended.
std::string RowState(const BenchUnit& unit)
{
    const UnitStatus& status = unit.status;
    if (unit.bFinished)
        return status.failedStage ? Result(unit) + " in stage " + std::to_string(status.failedStage) + " " + status.step
                                  : Result(unit);
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

void BenchReport::Table(const std::vector<BenchUnit>& units, const std::string& recordFailure)
{
    if (!m_bJson) {
        Redraw(units, true);
        size_t longest = 6;
        for (const BenchUnit& unit : units)
            longest = std::max(longest, RowName(unit).size());
        const TableLayout layout = Layout(longest);
        TableHeader(layout);
        for (const BenchUnit& unit : units)
            TableRow(unit, layout);
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
    // Rows printed one at a time keep one layout: the names' usual width.
    if (!m_bRowsBegun) {
        m_rowLayout = Layout(kTableName);
        TableHeader(m_rowLayout);
    }
    m_bRowsBegun = true;
    TableRow(unit, m_rowLayout);
    std::fflush(m_out);
    m_lastDraw = -1; // the status lines again at once
}

// On a terminal the names fit a third of its width and a long message and
// detail go on under the row, broken between words; elsewhere each row is
// one line.
BenchReport::TableLayout BenchReport::Layout(size_t longestName) const
{
    TableLayout layout{kTableName, m_bTerminal ? UsableColumns(m_out) : 0};
    if (layout.columns) {
        const size_t room = layout.columns > kTableColumns ? layout.columns - kTableColumns : 0;
        layout.nameWidth = std::min(longestName, std::max(kShortestName, std::min(layout.columns / 3, room)));
    }
    return layout;
}

void BenchReport::TableHeader(const TableLayout& layout)
{
    char header[256];
    std::snprintf(header, sizeof header, "%-*s %-16s %-9s %7s  %-7s  ", static_cast<int>(layout.nameWidth), "Device",
                  "Result", "Stage", "Time", "Version");
    const bool detailFits = !layout.columns || std::strlen(header) + 6 <= layout.columns;
    std::fprintf(m_out, "\n%s%s\n", header, detailFits ? "Detail" : "");
}

// The unit's id after its slot's name, where one was given.
std::string BenchReport::RowName(const BenchUnit& unit)
{
    return unit.status.unit.empty() ? unit.name : unit.name + " " + unit.status.unit;
}

void BenchReport::TableRow(const BenchUnit& unit, const TableLayout& layout)
{
    const UnitStatus& status = unit.status;
    const std::string stage = status.failedStage ? std::to_string(status.failedStage) + "/4" : "-";
    const std::string version =
        status.versionAfter && !status.versionAfter->empty() ? *status.versionAfter : std::string("-");
    const std::string name = layout.columns ? ShortenMiddle(RowName(unit), layout.nameWidth) : RowName(unit);
    char row[512];
    std::snprintf(row, sizeof row, "%-*s %-16s %-9s %6.1fs  %-7s  ", static_cast<int>(layout.nameWidth), name.c_str(),
                  Result(unit).c_str(), stage.c_str(), unit.seconds, version.c_str());
    std::string detail = StageFailureMessage(status.failedStage);
    const std::string& more = UnitSucceeded(unit) ? status.note : status.detail;
    detail += (status.failedStage && !status.detail.empty() ? " " : "") + more;
    PrintRow(row, detail, layout.columns);
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

void BenchReport::PrintRow(const std::string& row, const std::string& detail, size_t columns)
{
    if (!columns || row.size() + detail.size() <= columns) {
        std::fprintf(m_out, "%s%s\n", columns ? row.substr(0, columns).c_str() : row.c_str(), detail.c_str());
        return;
    }
    // Under the row's detail column while that leaves room, else under the row.
    const size_t indent = columns >= row.size() + kNarrowestDetail ? row.size() : 2;
    const std::vector<std::string> lines = WrapWords(detail, columns - indent);
    std::fprintf(m_out, "%s", row.substr(0, columns).c_str());
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0 || indent != row.size())
            std::fprintf(m_out, "\n%*s", static_cast<int>(indent), "");
        std::fprintf(m_out, "%s", lines[i].c_str());
    }
    std::fputc('\n', m_out);
}
