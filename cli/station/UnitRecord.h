#pragma once
// What a production station keeps of each unit it tried: one line per unit
// and attempt, as JSON Lines or as CSV, the fields in a fixed order.

#include "UnitStatus.h"

#include <cstdint>
#include <optional>
#include <string>

enum class UnitResult { Updated, Failed, Skipped, Cancelled, Interrupted };

const char* UnitResultName(UnitResult result);

// What the record says of a unit's outcome.
UnitResult RecordResult(UnitOutcome outcome);

struct UnitRecord {
    std::string time; // UTC, ISO 8601, when the unit's update began
    std::string host;
    std::string program;  // this program's version
    std::string firmware; // the version carried
    std::string port;     // as given
    uint32_t slot = 1;    // 1-based position on the bench
    std::optional<std::string> adapter;
    std::optional<std::string> versionBefore; // device text, escaped
    std::optional<std::string> versionAfter;
    UnitResult result = UnitResult::Failed;
    int stage = 0;       // 0: none
    std::string message; // the stage's own message; empty: none
    std::string detail;
    double seconds = 0;
    std::optional<std::string> unit; // its id (--unit-id-command, --ask-unit-id), escaped as device text
};

// A record with the fields that do not depend on the unit filled in, the
// time being now.
UnitRecord NewUnitRecord(const std::string& port, uint32_t slot);

// Each without its line end.
std::string RecordJsonLine(const UnitRecord& record);
std::string RecordCsvLine(const UnitRecord& record);
std::string RecordCsvHeader();

// "2026-03-14T09:26:53Z"
std::string UtcTimestamp();
