#include "BenchReport.h"

#include "UpdateMessages.h"
#include "UpdateReport.h"

#include "ConsoleOutput.h"

#include <chrono>
#include <cmath>

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

std::string Result(const BenchDevice& device)
{
    if (!device.bFinished)
        return "running";
    if (device.bOk)
        return device.bSkipped ? "skipped" : "updated";
    switch (device.exit) {
    case 1: return "failed";
    case 3: return "port unavailable";
    case 130:
    case 143: return "interrupted";
    default: return device.failedStage ? "failed" : "error";
    }
}

} // namespace

BenchReport::BenchReport(std::FILE* out, bool json) : m_out(out), m_bJson(json), m_bTerminal(TerminalTakesEscapes(out))
{
}

void BenchReport::Line(const BenchDevice& device, const std::string& text)
{
    if (!m_bTerminal && !m_bJson) {
        std::fprintf(m_out, "%-24s %s\n", device.name.c_str(), text.c_str());
        std::fflush(m_out);
    }
}

void BenchReport::Event(BenchDevice& device, const JsonEvent& event)
{
    if (m_bJson) {
        JsonEvent tagged = {{"device", device.name}};
        tagged.update(event);
        Emit(tagged);
    }
    const std::string kind = event.value("event", "");
    if (kind == "start") {
        Line(device,
             "version before: " + (event["device_version"].is_string() ? event["device_version"].get<std::string>()
                                                                       : std::string(kUnknownVersion)));
    } else if (kind == "stage_begin") {
        device.stage = event.value("stage", 0);
        device.step.clear();
        Line(device, "stage " + std::to_string(device.stage) + " " + event.value("name", ""));
    } else if (kind == "progress") {
        device.step = event.value("step", "");
        device.percent = event.value("percent", 0.0);
    } else if (kind == "result" && event.value("skipped", false)) {
        device.bOk = device.bSkipped = true;
        Line(device, std::string("skipped: it already runs ") + kCarriedFirmwareVersion);
    } else if (kind == "result") {
        device.bOk = event.value("ok", false);
        device.failedStage = event.value("stage", 0);
        device.detail = event.value("detail", "");
        device.note = event.value("note", "");
        if (device.bOk)
            device.percent = 100;
        if (device.bOk || device.failedStage)
            Line(device, device.bOk ? "updated"
                                    : "stopped in stage " + std::to_string(device.failedStage) + ": " + device.detail);
        else
            Line(device, "failed: " + device.detail);
    } else if (kind == "version" && event["device_version"].is_string()) {
        device.versionAfter = event["device_version"].get<std::string>();
        Line(device, "version after: " + device.versionAfter);
    } else if (kind == "restart" && !event.value("ok", true)) {
        device.bOk = false;
        device.detail = "after the power cycle: " + event.value("detail", "");
        Line(device, device.detail);
    }
}

void BenchReport::Finished(BenchDevice& device, const std::string& errors)
{
    device.bFinished = true;
    if (device.detail.empty() && !errors.empty())
        device.detail = errors.substr(0, errors.find('\n'));
    if (!device.bOk && device.failedStage == 0 && device.detail.empty())
        device.detail = "exit status " + std::to_string(device.exit);
    if (m_bJson) {
        Emit({{"device", device.name},
              {"event", "finished"},
              {"exit", device.exit},
              {"seconds", std::round(device.seconds * 10.0) / 10.0},
              {"error", errors}});
    } else if (!device.bOk && device.failedStage == 0) {
        Line(device, Result(device) + ": " + device.detail);
    }
}

void BenchReport::Emit(const JsonEvent& event)
{
    std::fprintf(m_out, "%s\n", JsonLine(event).c_str());
    std::fflush(m_out);
}

void BenchReport::Redraw(const std::vector<BenchDevice>& devices, bool force)
{
    if (!m_bTerminal || m_bJson || (!force && Now() - m_lastDraw < 0.1))
        return;
    m_lastDraw = Now();
    if (m_drawnLines)
        std::fprintf(m_out, "\033[%zuA", m_drawnLines); // back to the first status line
    for (const BenchDevice& device : devices)
        std::fprintf(m_out, "\r\033[K%-24s [%d/4] %-20s %-8s %5.1f%%  %s\n", device.name.c_str(), device.stage,
                     device.stage ? StageTitle(device.stage) : "", device.step.c_str(), device.percent,
                     Result(device).c_str());
    m_drawnLines = devices.size();
    std::fflush(m_out);
}

void BenchReport::Table(const std::vector<BenchDevice>& devices, const std::string& recordFailure)
{
    size_t updated = 0, skipped = 0;
    for (const BenchDevice& device : devices) {
        updated += device.bOk && !device.bSkipped ? 1 : 0;
        skipped += device.bSkipped ? 1 : 0;
    }
    if (m_bJson) {
        JsonEvent result = {{"event", "bench_result"},
                            {"ok", updated + skipped == devices.size() && recordFailure.empty()},
                            {"updated", updated},
                            {"devices", devices.size()}};
        if (skipped)
            result["skipped"] = skipped;
        if (!recordFailure.empty())
            result["record_error"] = recordFailure;
        Emit(result);
        return;
    }
    Redraw(devices, true);
    std::fprintf(m_out, "\n%-24s %-16s %-9s %7s  %-7s  %s\n", "Device", "Result", "Stage", "Time", "Version", "Detail");
    for (const BenchDevice& device : devices) {
        const std::string stage = device.failedStage ? std::to_string(device.failedStage) + "/4" : "-";
        const std::string version = device.versionAfter.empty() ? "-" : device.versionAfter;
        std::fprintf(m_out, "%-24s %-16s %-9s %6.1fs  %-7s  %s%s%s\n", device.name.c_str(), Result(device).c_str(),
                     stage.c_str(), device.seconds, version.c_str(), StageFailureMessage(device.failedStage),
                     device.failedStage && !device.detail.empty() ? " " : "",
                     device.bOk ? device.note.c_str() : device.detail.c_str());
    }
    std::fprintf(m_out, "%zu of %zu updated", updated, devices.size());
    if (skipped)
        std::fprintf(m_out, ", %zu skipped (already %s)", skipped, kCarriedFirmwareVersion);
    std::fprintf(m_out, ".\n");
    if (!recordFailure.empty())
        std::fprintf(m_out, "The record is incomplete: %s.\n", recordFailure.c_str());
    std::fflush(m_out);
}
