#pragma once
// What a bench shows of its units: each unit's snapshot (UnitStatus),
// redrawn as one line per unit on a terminal or told a plain line per
// change otherwise; with --json the units' events with a device field
// instead; and the table at the end. Not thread-safe: the bench calls it
// under its lock.

#include "JsonReport.h"
#include "StatusReport.h"

#include <cstdio>
#include <string>
#include <vector>

struct BenchUnit {
    std::string name; // "simulated 3", "COM12", or the port as given
    UnitStatus status;
    bool bFinished = false;
    double seconds = 0; // the unit's whole time on the bench
};

class BenchReport {
public:
    BenchReport(std::FILE* out, bool json);
    // A change of a unit's snapshot.
    void Changed(BenchUnit& unit, const UnitStatus& status, UnitChange change);
    // One of a unit's JSON events.
    void Event(const BenchUnit& unit, const JsonEvent& event);
    void Finished(BenchUnit& unit, UnitOutcome outcome);
    // The status lines, at most ten times a second (on a terminal only).
    void Redraw(const std::vector<BenchUnit>& units, bool force = false);
    // A line for stream (a hook's, a note) above the status lines, which are
    // drawn again beneath it.
    void Above(const std::vector<BenchUnit>& units, std::FILE* stream, const std::string& line);
    // recordFailure: why the record lacks units, or "".
    void Table(const std::vector<BenchUnit>& units, const std::string& recordFailure = "");
    // Slots at their own pace: a finished unit's row of the table, as it
    // finishes (the header before the first), above the status lines; at
    // the end the totals over every unit.
    void Row(const BenchUnit& unit);
    void Totals(size_t updated, size_t skipped, size_t units, const std::string& recordFailure);

private:
    static constexpr size_t kShortestName = 12; // a name column's narrowest on a terminal

    struct TableLayout {
        size_t nameWidth; // the Device column
        size_t columns;   // the terminal's, 0 where it is none
    };
    TableLayout Layout(size_t longestName) const;
    void TableHeader(const TableLayout& layout);
    static std::string RowName(const BenchUnit& unit);
    void TableRow(const BenchUnit& unit, const TableLayout& layout);
    void Emit(const JsonEvent& event);
    void Line(const BenchUnit& unit, const std::string& text);
    void Erase();
    // A table row, its detail broken into lines under it where the terminal
    // is too narrow (columns 0: not a terminal, one line).
    void PrintRow(const std::string& row, const std::string& detail, size_t columns);

    std::FILE* m_out;
    bool m_bJson;
    bool m_bTerminal;
    size_t m_drawnLines = 0;
    double m_lastDraw = -1;
    bool m_bRowsBegun = false;
    TableLayout m_rowLayout{};
};

// Updated, or skipped.
bool UnitSucceeded(const BenchUnit& unit);
// The unit's result in a word or two: "running", "updated", "failed", ...
std::string ResultWord(const BenchUnit& unit);
