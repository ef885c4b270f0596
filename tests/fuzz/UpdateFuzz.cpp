// libFuzzer target: a whole update (the version query, then the four
// stages) through a port whose answers the fuzzer chooses. Each answer is
// the one a sound Kestrune gives, or the fuzzer's own bytes, cut short,
// late, or missing. Time is the port's own, so pauses cost nothing.
//
// Must hold for every input: no crash or stray access (ASan, UBSan); the
// run ends within the time its allowances give; a failure names its stage
// and why; the terminal report and the JSON events carry printable ASCII
// only, and every JSON line parses.

#include "DeviceLink.h"
#include "JsonReport.h"
#include "ProgressPlan.h"
#include "UpdateRun.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <sstream>

namespace {

// A Kestrune as the fuzzer makes it answer.
class FuzzedKestrune : public SerialPort {
public:
    explicit FuzzedKestrune(FuzzedDataProvider& input) : m_input(input) {}

    void PurgeAll() override
    {
        while (!m_arriving.empty() && m_arriving.front().first <= m_now)
            m_arriving.pop_front();
    }
    bool ApplyLineSettings(const LineSettings&) override { return true; }
    bool ClearErrors(uint32_t& waiting) override
    {
        waiting = 0;
        for (const auto& [at, byte] : m_arriving)
            waiting += at <= m_now ? 1 : 0;
        return true;
    }
    bool ReadWaiting(IoRecord&, uint8_t* buffer, uint32_t n, uint32_t& moved) override
    {
        for (moved = 0; moved < n && !m_arriving.empty() && m_arriving.front().first <= m_now; ++moved) {
            buffer[moved] = m_arriving.front().second;
            m_arriving.pop_front();
        }
        return moved == n;
    }
    bool WriteAll(IoRecord&, const uint8_t* frame, uint32_t count, uint32_t& moved) override
    {
        moved = count;
        Answer(SoundAnswer(frame, count));
        return true;
    }
    void WaitForInput(uint32_t timeoutMs) override
    {
        m_now += m_arriving.empty() || m_arriving.front().first > m_now + timeoutMs
                     ? timeoutMs
                     : m_arriving.front().first - m_now;
    }
    uint32_t TickCount() const override { return m_now; }
    void Sleep(uint32_t ms) override { m_now += ms; }

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
        if (count == 35 && frame[0] == 'w') {
            std::copy(frame + 3, frame + 35, m_memory + (frame[1] << 8 | frame[2]));
            return {'D'};
        }
        if (count == 3 && frame[0] == 'r')
            return std::vector<uint8_t>(m_memory + (frame[1] << 8 | frame[2]),
                                        m_memory + (frame[1] << 8 | frame[2]) + 32);
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
        const uint32_t at = std::max(m_now + delay, m_arriving.empty() ? 0 : m_arriving.back().first);
        for (uint8_t byte : bytes)
            m_arriving.emplace_back(at, byte);
    }

    FuzzedDataProvider& m_input;
    uint32_t m_now = 0;
    std::deque<std::pair<uint32_t, uint8_t>> m_arriving; // tick it arrives at, byte
    uint8_t m_memory[0x10000 + 32] = {};
};

// The report sees what a person or a script would.
class ReportObserver : public LinkObserver {
public:
    explicit ReportObserver(UpdateReport& report) : m_report(report) {}
    void OnStep(const StageProgress& progress) override { m_report.Step(progress); }

private:
    UpdateReport& m_report;
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
    for (size_t i = 0; i < length; ++i)
        if ((text[i] < 0x20 || text[i] > 0x7E) && text[i] != '\n')
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const ProgressPlan plan = ProgressPlan::ForCarriedImages();
    FuzzedDataProvider input(data, size);
    auto port = std::make_unique<FuzzedKestrune>(input);
    FuzzedKestrune& device = *port;
    CDeviceLink link;
    Require(link.Open(std::move(port)), "the port did not open");

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
    Require(device.TickCount() < 120000, "the update ran past its allowances");
    Require(failedStage >= 0 && failedStage <= 4, "no such stage");
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
