#pragma once
// The update as a script sees it: one JSON object per event. Every event of
// a single update and of a bench is written by JsonLine, so each line is
// valid JSON in plain ASCII whatever the device sent.

#include "UpdateReport.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

using JsonEvent = nlohmann::ordered_json;

// The event as one line, without its line end.
std::string JsonLine(const JsonEvent& event);

// Where a JSON report's events go.
class JsonEventSink {
public:
    virtual ~JsonEventSink() = default;
    virtual void Event(const JsonEvent& event) = 0;
    // Words for a person that are no event (why the port would not open).
    virtual void Error(const std::string& text) = 0;
};

// Events as lines to out, errors to err.
class JsonLineSink : public JsonEventSink {
public:
    JsonLineSink(std::FILE* out, std::FILE* err) : m_out(out), m_err(err) {}
    void Event(const JsonEvent& event) override;
    void Error(const std::string& text) override;

private:
    std::FILE* m_out;
    std::FILE* m_err;
};

std::unique_ptr<UpdateReport> MakeJsonReport(JsonEventSink& sink, const ProgressPlan& plan);
