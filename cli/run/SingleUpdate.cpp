#include "SingleUpdate.h"

#include "AutoPort.h"
#include "JsonReport.h"
#include "PortIdentity.h"
#include "ProgressPlan.h"
#include "SimulatedDevice.h"
#include "UnitUpdate.h"
#include "UpdateSession.h"

#include <memory>
#include <string>

namespace {

// --port auto: the one Kestrune found, told to the report; nothing, with
// the reason told, when none or several answered.
std::optional<UpdateTarget> FindPort(UpdateReport& report)
{
    const std::vector<PortInfo> ports = DiscoverPorts();
    const AutoChoice choice = ChooseAutoPort(ProbeUsbPorts(ports), ports);
    if (!choice.bChosen) {
        report.PortUnavailable(choice.text);
        return std::nullopt;
    }
    report.Note(choice.text);
    return UpdateTarget{choice.port.path, {}, PortWithUsbName(choice.port, ports), nullptr, true};
}

} // namespace

int RunSingleUpdate(const CliOptions& options, const CliStreams& io)
{
    UpdateSession session(options, io);
    if (!session.Open())
        return ExitUsage;
    std::unique_ptr<SimulatedDevice> sim;
    UpdateTarget target = TargetForPort(options.device.empty() ? std::to_string(options.port) : options.device);
    // --paced with --device: a pseudo-terminal's writes take a cable's time,
    // as a UART's drain does (on a UART itself the hold has passed already).
    target.portOptions.bEmulateWireTime = options.bPaced;
    if (options.UsesSimulator()) {
        std::string reason;
        if (!(sim = StartSimulatedDevice(options, reason))) {
            std::fprintf(io.err, "kestrune-update: %s", reason.c_str());
            return ExitNoSimulator;
        }
        target = UpdateTarget{sim->PortName(), PortOptions{options.bPaced}, sim->Name(), sim.get()};
    }
    if (!session.OpenTrace())
        return ExitUsage;
    const ProgressPlan plan = ProgressPlan::ForCarriedImages();
    JsonLineSink sink(io.out, io.err);
    const auto newReport = [&] {
        return options.bJson ? MakeJsonReport(sink, plan)
                             : MakeTerminalReport(io.out, io.err, options.bQuiet, plan, sim != nullptr);
    };
    if (options.bAutoPort) {
        const std::optional<UpdateTarget> found = FindPort(*newReport());
        if (!found)
            return ExitPortUnavailable;
        target = *found;
    }
    StationRounds& rounds = session.Rounds(1, sim != nullptr);
    int exit = ExitSuccess;
    const auto more = [&] { return rounds.AtOwnPace() ? rounds.TakeNext(1, GivenPort(target)) : rounds.Next() > 0; };
    for (bool go = rounds.Next() > 0; go; go = more()) {
        UnitPlace place{1, session.Recorder(), io.err, session.RoundAsks(), &session.Prompt(), &session.Prompt()};
        place.pGivenIds = &session.GivenIds();
        const auto report = newReport();
        const UnitOutcome outcome = UnitUpdate(options, target, *report, session.Trace(), place).Run();
        rounds.Count(RecordResult(outcome));
        if (exit == ExitSuccess)
            exit = ExitStatus(outcome);
        if (outcome == UnitOutcome::Cancelled || outcome == UnitOutcome::Interrupted)
            break;
    }
    return session.Finish(exit);
}
