#pragma once
// What a bench shows: each device's state as its update's JSON events tell
// it, redrawn as one line per device on a terminal or a plain line per event
// otherwise, the events again with a device field for --json, and the table
// at the end. Not thread-safe: the bench calls it under its lock.

#include "JsonReport.h"

#include <cstdio>
#include <string>
#include <vector>

struct BenchDevice {
    std::string name;
    int stage = 0;
    std::string step;
    double percent = 0;
    bool bFinished = false;
    int exit = -1;
    bool bOk = false;      // updated, or skipped
    bool bSkipped = false; // --skip-current: it already ran the carried version
    int failedStage = 0;
    std::string detail;       // the failing exchange, or why the port would not open
    std::string note;         // what an update that succeeded should be known with
    std::string versionAfter; // what the device reported after its power cycle
    double seconds = 0;
};

class BenchReport {
public:
    BenchReport(std::FILE* out, bool json);
    // One event of a device's update.
    void Event(BenchDevice& device, const JsonEvent& event);
    void Finished(BenchDevice& device, const std::string& errors);
    // The status lines, at most ten times a second (on a terminal only).
    void Redraw(const std::vector<BenchDevice>& devices, bool force = false);
    // recordFailure: why the record lacks units, or "".
    void Table(const std::vector<BenchDevice>& devices, const std::string& recordFailure = "");

private:
    void Emit(const JsonEvent& event);
    void Line(const BenchDevice& device, const std::string& text);

    std::FILE* m_out;
    bool m_bJson;
    bool m_bTerminal;
    size_t m_drawnLines = 0;
    double m_lastDraw = -1;
};
