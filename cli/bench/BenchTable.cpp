// The bench's table: a row per unit (all at the end, or each as its unit
// finishes), its detail wrapped under it on a narrow terminal, and the
// totals.

#include "BenchReport.h"

#include "TerminalWidth.h"
#include "UpdateMessages.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kTableName = 24;       // the name column off a terminal
constexpr size_t kTableColumns = 46;    // a row's without its name and detail
constexpr size_t kNarrowestDetail = 24; // less, and the detail goes under the row

} // namespace

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
                  ResultWord(unit).c_str(), stage.c_str(), unit.seconds, version.c_str());
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
