// libFuzzer target: a whole update (the version query, then the four
// stages) through a port whose answers the fuzzer chooses. Each answer is
// the one a sound Kestrune gives, or the fuzzer's own bytes, cut short,
// late, or missing. Time is the port's own, so pauses cost nothing.
//
// Must hold for every input: no crash or stray access (ASan, UBSan); the
// run ends within the time its allowances give; a failure names its stage
// and why, and without any input (a sound Kestrune) there is none; the
// terminal report and the JSON events carry printable ASCII only, and every
// JSON line parses.

#include "DeviceLink.h"
#include "FakeSerialPort.h"
#include "JsonReport.h"
#include "ProgressPlan.h"
#include "UpdateRun.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

// A Kestrune as the fuzzer makes it answer, behind the tests' stand-in port.
class FuzzedKestrune {
public:
    FuzzedKestrune(FuzzedDataProvider& input, FakePortState& port) : m_input(input), m_port(port)
    {
        port.tick = 0;
        port.onWrite = [this](const uint8_t* frame, uint32_t count) { Answer(SoundAnswer(frame, count)); };
    }

private:
    std::vector<uint8_t> SoundAnswer(const uint8_t* frame, uint32_t count)
    {
        if (count == 256) { // the download: its echo, then the loader's sign-on
            std::vector<uint8_t> echo(frame, frame + count);
            echo.push_back('X');
            return echo;
        }
        if (count == 3 && frame[0] == 0x02)
            return {0x02, 0x08, 0x20, '5', '.', '0', '.', '3', 0x01, 0xF7};
        uint8_t* at = m_memory.data() + (count > 2 ? frame[1] << 8 | frame[2] : 0);
        if (count == 35 && frame[0] == 'w') {
            std::copy(frame + 3, frame + 35, at);
            return {'D'};
        }
        if (count == 3 && frame[0] == 'r')
            return std::vector<uint8_t>(at, at + 32);
        switch (frame[0]) {
        case 'F': return {'D'};
        case 'V': return {'Y'};
        case 'G': return count == 1 ? std::vector<uint8_t>{0x01, 0x20, 0x00} : std::vector<uint8_t>{};
        case 'E':
        case 'P': return {0x00};
        default: return {}; // the download's start byte, the jump
        }
    }

    // What the fuzzer makes of the sound answer; with its input used up, the
    // sound answer itself.
    void Answer(std::vector<uint8_t> bytes)
    {
        const uint8_t choice = m_input.ConsumeIntegral<uint8_t>();
        uint32_t delay = 1;
        if (choice >= 240)
            bytes.clear();
        else if (choice >= 220)
            delay = 1 + m_input.ConsumeIntegral<uint8_t>() * 2u;
        else if (choice >= 200)
            bytes.resize(choice % 8 < bytes.size() ? choice % 8 : bytes.size());
        else if (choice >= 160)
            bytes = m_input.ConsumeBytes<uint8_t>(m_input.ConsumeIntegralInRange<size_t>(0, 300));
        // A line keeps its order: nothing overtakes a byte still on its way.
        const uint32_t at =
            std::max(m_port.tick + delay, m_port.arrivals.empty() ? 0 : m_port.arrivals.rbegin()->first);
        for (uint8_t byte : bytes)
            m_port.arrivals.emplace(at, byte);
    }

    FuzzedDataProvider& m_input;
    FakePortState& m_port;
    std::vector<uint8_t> m_memory = std::vector<uint8_t>(0x10000 + 32);
};

// The report sees what a person or a script would.
struct ReportObserver : LinkObserver {
    explicit ReportObserver(UpdateReport& shown) : report(shown) {}
    void OnStep(const StageProgress& progress) override { report.Step(progress); }
    UpdateReport& report;
};

void Require(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "update fuzzer: %s\n", what);
        std::abort();
    }
}

bool PrintableLines(const char* text, size_t length)
{
    return std::all_of(text, text + length, [](char c) { return (c >= 0x20 && c <= 0x7E) || c == '\n'; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const ProgressPlan plan = ProgressPlan::ForCarriedImages();
    FuzzedDataProvider input(data, size);
    FakePortState port;
    FuzzedKestrune device(input, port);
    CDeviceLink link;
    Require(link.Open(OpenFakePort(port)), "the port did not open");

    char* terminal = nullptr;
    char* json = nullptr;
    size_t terminalLength = 0, jsonLength = 0;
    std::FILE* terminalOut = open_memstream(&terminal, &terminalLength);
    std::FILE* jsonOut = open_memstream(&json, &jsonLength);
    JsonLineSink sink(jsonOut, jsonOut);
    const auto text = MakeTerminalReport(terminalOut, terminalOut, false, plan);
    const auto events = MakeJsonReport(sink, plan);
    ReportObserver observer(*text);
    link.SetObserver(&observer);

    const auto version = QueryDeviceVersion(link);
    const int failedStage = RunUpdateStages(link);
    // Allowances and pauses of a whole update come to well under two minutes.
    Require(port.tick < 120000, "the update ran past its allowances");
    Require(failedStage >= 0 && failedStage <= 4, "no such stage");
    Require(size > 0 || failedStage == 0, "the update of a sound Kestrune failed");
    Require(failedStage == 0 || link.FailureDetail()[0] != '\0', "a failure without its reason");
    for (UpdateReport* report : {text.get(), events.get()}) {
        report->Start("fuzzed Kestrune", version);
        report->Outcome(failedStage, link.FailureDetail(), 1.0);
    }
    std::fclose(terminalOut);
    std::fclose(jsonOut);
    Require(PrintableLines(terminal, terminalLength), "the terminal report carries a byte that is not printable");
    Require(PrintableLines(json, jsonLength), "a JSON event carries a byte that is not printable ASCII");
    std::istringstream lines(std::string(json, jsonLength));
    for (std::string line; std::getline(lines, line);)
        Require(nlohmann::json::accept(line), "a JSON event does not parse");
    std::free(terminal);
    std::free(json);
    return 0;
}
