#include "Updater.h"

#include "InstructionsText.h"
#include "Interrupts.h"
#include "PortDevices.h"
#include "PortDiagnosis.h"
#include "ProgressPlan.h"
#include "SimulatedDevice.h"
#include "UpdateReport.h"
#include "UpdateRun.h"
#include "WireTrace.h"

#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>

namespace {

// The link's observer: progress to the report, frames to the trace, and
// a stop once a signal came.
class CliObserver : public LinkObserver {
public:
    CliObserver(UpdateReport& report, WireTrace* trace) : m_report(report), m_pTrace(trace) {}
    void OnStep(const StageProgress& progress) override { m_report.Step(progress); }
    void OnFrame(Direction direction, int mode, const char* exchange, const uint8_t* bytes, uint32_t count) override
    {
        if (m_pTrace)
            m_pTrace->Frame(direction, mode, exchange, bytes, count);
    }
    bool StopRequested() override { return InterruptSignal() != 0; }

private:
    UpdateReport& m_report;
    WireTrace* m_pTrace;
};

void Prompt(std::FILE* to, const char* text)
{
    std::fputs(text, to);
    std::fflush(to);
}

std::string PortName(const CliOptions& options, const SimulatedDevice* sim)
{
    if (sim)
        return sim->Name();
    if (!options.device.empty())
        return options.device;
    return "COM" + std::to_string(options.port) + " (" + PortDeviceName(options.port) + ")";
}

} // namespace

bool AnswersYes(std::FILE* in)
{
    char line[64];
    if (!std::fgets(line, sizeof line, in))
        return false;
    std::string answer;
    for (const char* c = line; *c; ++c)
        if (!std::isspace(static_cast<unsigned char>(*c)))
            answer += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    return answer == "y" || answer == "yes";
}

int RunUpdater(const CliOptions& options, const CliStreams& io)
{
    CatchInterrupts();
    std::unique_ptr<SimulatedDevice> sim;
    uint8_t port = options.port;
    if (options.UsesSimulator()) {
        std::string reason;
        sim = StartSimulatedDevice(options, reason);
        if (!sim) {
            std::fprintf(io.err, "kestrune-update: %s", reason.c_str());
            return ExitNoSimulator;
        }
        port = 1;
    }
#ifndef _WIN32
    if (!options.device.empty()) {
        SetPortRoute(1, PortRoute{options.device, false});
        port = 1;
    }
#endif

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> traceFile(nullptr, std::fclose);
    std::unique_ptr<WireTrace> trace;
    if (!options.tracePath.empty()) {
        std::FILE* to = io.err;
        if (options.tracePath != "-") {
            traceFile.reset(std::fopen(options.tracePath.c_str(), "w"));
            if (!traceFile) {
                std::fprintf(io.err, "kestrune-update: cannot write the trace to %s: %s\n", options.tracePath.c_str(),
                             std::strerror(errno));
                return ExitUsage;
            }
            to = traceFile.get();
        }
        trace = std::make_unique<WireTrace>(to);
    }

    const ProgressPlan plan = ProgressPlan::ForCarriedImages();
    const auto report = options.bJson ? MakeJsonReport(io.out, plan)
                                      : MakeTerminalReport(io.out, io.err, options.bQuiet, plan);
    CliObserver observer(*report, trace.get());
    CDeviceLink link;
    link.SetObserver(&observer);
    if (!link.Open(port)) {
        std::fputs(DescribeOpenFailure(PortDeviceName(port)).c_str(), io.err);
        return ExitPortUnavailable;
    }
    report->Start(PortName(options, sim.get()), QueryDeviceVersion(link));
    if (options.action == CliAction::VersionOnly)
        return ExitSuccess;

    std::FILE* prompts = options.bJson ? io.err : io.out;
    report->Note(std::string("\n") + KZ_INSTRUCTIONS_HEADING + "\n" + KZ_INSTRUCTIONS_STEPS + "\n" +
                 KZ_INSTRUCTIONS_NOTE + "\n");
    if (sim) {
        report->Note("(The simulated Kestrune is powered on with \"SET\" held.)");
        sim->PowerOn(true);
    } else if (!options.bAssumeYes) {
        Prompt(prompts, "Then type yes and press Enter to update (anything else cancels): ");
        const bool yes = AnswersYes(io.in);
        if (InterruptSignal() != 0) {
            report->Interrupted(0, InterruptSignal(), "");
            return 128 + InterruptSignal();
        }
        if (!yes) {
            report->Cancelled();
            return ExitCancelled;
        }
    }

    const auto started = std::chrono::steady_clock::now();
    const int failedStage = RunUpdateStages(link);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (InterruptSignal() != 0 && failedStage != 0) {
        link.Close(); // the port's settings go back as they were
        report->Interrupted(failedStage, InterruptSignal(), link.FailureDetail());
        return 128 + InterruptSignal();
    }
    report->Outcome(failedStage, link.FailureDetail(), seconds);
    if (failedStage != 0)
        return ExitStageFailed;

    if (sim) {
        report->Note("(The simulated Kestrune is power-cycled.)");
        sim->PowerOn(false);
    } else if (options.bAssumeYes) {
        report->Note("Power-cycle the Kestrune and let it restart: it then runs the new firmware.");
        return ExitSuccess;
    } else {
        Prompt(prompts, "Power-cycle the Kestrune, let it restart, then press Enter: ");
        AnswersYes(io.in);
        if (InterruptSignal() != 0)
            return ExitSuccess; // the update itself is done
    }
    report->VersionAfter(QueryDeviceVersion(link));
    return ExitSuccess;
}
