#include "Updater.h"

#include "AutoPort.h"
#include "DeviceUpdate.h"
#include "Interrupts.h"
#include "JsonReport.h"
#include "PortIdentity.h"
#include "ProgressPlan.h"
#include "SimulatedDevice.h"
#include "StationRounds.h"
#include "SystemMessage.h"
#include "UnitRecorder.h"
#include "WireTrace.h"

#include <cerrno>
#include <memory>
#include <string>

namespace {

// --trace: a file of its own, or stderr for "-".
class TraceOutput {
public:
    ~TraceOutput()
    {
        if (m_file)
            std::fclose(m_file);
    }
    bool Open(const std::string& path, std::FILE* err)
    {
        if (path.empty())
            return true;
        std::FILE* to = err;
        if (path != "-" && !(to = m_file = std::fopen(path.c_str(), "w"))) {
            std::fprintf(err, "kestrune-update: cannot write the trace to %s: %s\n", path.c_str(),
                         SystemMessage(errno).c_str());
            return false;
        }
        m_trace = std::make_unique<WireTrace>(to);
        return true;
    }
    WireTrace* Trace() const { return m_trace.get(); }

private:
    std::FILE* m_file = nullptr;
    std::unique_ptr<WireTrace> m_trace;
};

} // namespace

int RunUpdater(const CliOptions& options, const CliStreams& io)
{
    CatchInterrupts();
    // The record opens before anything goes to a device, so that no update
    // goes unrecorded.
    UnitRecorder recorder(io.err);
    if (!options.recordPath.empty() && !recorder.Open(options.recordPath))
        return ExitUsage;
    std::unique_ptr<SimulatedDevice> sim;
    UpdateTarget target = TargetForPort(options.device.empty() ? std::to_string(options.port) : options.device);
    if (options.UsesSimulator()) {
        std::string reason;
        if (!(sim = StartSimulatedDevice(options, reason))) {
            std::fprintf(io.err, "kestrune-update: %s", reason.c_str());
            return ExitNoSimulator;
        }
        target = UpdateTarget{sim->PortName(), PortOptions{options.bPaced}, sim->Name(), sim.get()};
    }
    TraceOutput trace;
    if (!trace.Open(options.tracePath, io.err))
        return ExitUsage;
    const ProgressPlan plan = ProgressPlan::ForCarriedImages();
    JsonLineSink sink(io.out, io.err);
    const auto newReport = [&] {
        return options.bJson ? MakeJsonReport(sink, plan) : MakeTerminalReport(io.out, io.err, options.bQuiet, plan);
    };
    if (options.bAutoPort) {
        const std::vector<PortInfo> ports = DiscoverPorts();
        const AutoChoice choice = ChooseAutoPort(ProbeUsbPorts(ports), ports);
        if (!choice.bChosen) {
            newReport()->PortUnavailable(choice.text);
            return ExitPortUnavailable;
        }
        newReport()->Note(choice.text.substr(0, choice.text.size() - 1));
        target = UpdateTarget{choice.port.path, {}, PortWithUsbName(choice.port, ports), nullptr, true};
    }
    const bool waits = options.bStation && options.bootstrapCommand.empty() && !sim;
    StationRounds rounds(RoundsPlan{options.bStation, options.units, waits, options.bJson, io.out,
                                    options.bJson ? io.err : io.out, io.in, InterruptSignal},
                         1);
    rounds.Watch(recorder);
    int exit = ExitSuccess;
    while (rounds.Next() > 0) {
        UnitRun unit{1, options.recordPath.empty() ? nullptr : &recorder, io.err, waits};
        const int unitExit = UpdateDevice(options, target, *newReport(), trace.Trace(), io, unit);
        rounds.Count(unit.result);
        if (exit == ExitSuccess)
            exit = unitExit;
        if (unitExit == ExitCancelled || unitExit >= 128)
            break;
    }
    rounds.Summary();
    if (options.bStation && InterruptSignal() != 0)
        return 128 + InterruptSignal();
    return exit == ExitSuccess && !recorder.Failure().empty() ? ExitStageFailed : exit;
}
