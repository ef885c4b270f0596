#include "UnitRecord.h"

#include "JsonReport.h"
#include "RecordFile.h"
#include "UpdateMessages.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#ifndef KZ_PROGRAM_VERSION
#define KZ_PROGRAM_VERSION "unknown"
#endif

namespace {

const char* const kFieldNames[] = {"time",  "host",    "program",        "firmware",      "port",
                                   "slot",  "adapter", "version_before", "version_after", "result",
                                   "stage", "message", "detail",         "seconds",       "unit"};

JsonEvent Optional(const std::optional<std::string>& text) { return text ? JsonEvent(*text) : JsonEvent(nullptr); }

// The fields in their order; null where a field has no value.
JsonEvent Fields(const UnitRecord& r)
{
    const JsonEvent values[] = {r.time,
                                r.host,
                                r.program,
                                r.firmware,
                                r.port,
                                r.slot,
                                Optional(r.adapter),
                                Optional(r.versionBefore),
                                Optional(r.versionAfter),
                                UnitResultName(r.result),
                                r.stage ? JsonEvent(r.stage) : JsonEvent(nullptr),
                                r.message.empty() ? JsonEvent(nullptr) : JsonEvent(r.message),
                                r.detail,
                                std::round(r.seconds * 10.0) / 10.0,
                                Optional(r.unit)};
    JsonEvent fields = JsonEvent::object();
    for (size_t i = 0; i < std::size(kFieldNames); ++i)
        fields[kFieldNames[i]] = values[i];
    return fields;
}

// Quoted where a comma, a quote or a line end would break the row.
std::string CsvField(const JsonEvent& value)
{
    if (value.is_null())
        return "";
    std::string text = value.is_string() ? value.get<std::string>() : JsonLine(value);
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted(1, '"');
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

} // namespace

const char* UnitResultName(UnitResult result)
{
    switch (result) {
    case UnitResult::Updated: return "updated";
    case UnitResult::Skipped: return "skipped";
    case UnitResult::Cancelled: return "cancelled";
    case UnitResult::Interrupted: return "interrupted";
    default: return "failed";
    }
}

UnitResult RecordResult(UnitOutcome outcome)
{
    switch (outcome) {
    case UnitOutcome::Done: return UnitResult::Updated;
    case UnitOutcome::Skipped: return UnitResult::Skipped;
    case UnitOutcome::Cancelled: return UnitResult::Cancelled;
    case UnitOutcome::Interrupted: return UnitResult::Interrupted;
    default: return UnitResult::Failed;
    }
}

UnitRecord NewUnitRecord(const std::string& port, uint32_t slot)
{
    UnitRecord record;
    record.time = UtcTimestamp();
    record.host = HostName();
    record.program = KZ_PROGRAM_VERSION;
    record.firmware = kCarriedFirmwareVersion;
    record.port = port;
    record.slot = slot;
    return record;
}

std::string RecordJsonLine(const UnitRecord& record) { return JsonLine(Fields(record)); }

std::string RecordCsvLine(const UnitRecord& record)
{
    std::string line;
    const char* comma = "";
    const JsonEvent fields = Fields(record);
    for (const auto& field : fields.items()) {
        line += comma;
        line += CsvField(field.value());
        comma = ",";
    }
    return line;
}

std::string RecordCsvHeader()
{
    std::string line;
    const char* comma = "";
    for (const char* name : kFieldNames) {
        line += comma;
        line += name;
        comma = ",";
    }
    return line;
}

std::string UtcTimestamp()
{
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02lldZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
                  static_cast<long long>(time.seconds().count()));
    return text;
}
