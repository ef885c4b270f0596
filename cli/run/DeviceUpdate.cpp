#include "DeviceUpdate.h"

#include "AdapterAdvice.h"
#include "InstructionsText.h"
#include "Interrupts.h"
#include "PortDiagnosis.h"
#include "PortIdentity.h"
#include "PortName.h"
#include "SimulatedDevice.h"
#include "UnitRecorder.h"
#include "UnitSteps.h"
#include "UpdateMessages.h"
#include "UpdateRun.h"
#include "WireTrace.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>

namespace {

// The link's observer: progress to the report, frames to the trace, and
// a stop once a signal came.
class CliObserver : public LinkObserver {
public:
    CliObserver(UpdateReport& report, WireTrace* trace) : m_report(report), m_pTrace(trace) {}
    void OnStep(const StageProgress& progress) override { m_report.Step(progress); }
    void OnFrame(Direction direction, int16_t mode, const ExchangeLabel& exchange, const uint8_t* bytes,
                 uint32_t count) override
    {
        if (m_pTrace)
            m_pTrace->Frame(direction, mode, exchange, bytes, count);
        if (direction == Direction::Received && exchange.exchange == LinkExchange::Version)
            versionReply.assign(bytes, bytes + count);
    }
    bool StopRequested() override { return InterruptSignal() != 0; }

    std::vector<uint8_t> versionReply; // the last answer to a version query

private:
    UpdateReport& m_report;
    WireTrace* m_pTrace;
};

void Prompt(std::FILE* to, const char* text)
{
    std::fputs(text, to);
    std::fflush(to);
}

// Into bootstrap mode (the person's steps, or the bootstrap hook), and the
// go-ahead: ExitSuccess to update.
int GoAhead(const CliOptions& options, const UpdateTarget& target, UpdateReport& report, const CliStreams& io,
            const UnitRun& unit, UnitRecord& record)
{
    const bool hook = !options.bootstrapCommand.empty();
    if (!hook && !unit.bGoAheadGiven)
        report.Note(std::string("\n") + KZ_INSTRUCTIONS_HEADING + "\n" + KZ_INSTRUCTIONS_STEPS + "\n" +
                    KZ_INSTRUCTIONS_NOTE + "\n");
    if (hook) {
        const HookResult ran = RunUnitHook("bootstrap", options.bootstrapCommand, options, target, unit);
        record.detail = ran.detail;
        if (ran.bInterrupted) {
            report.Interrupted(0, InterruptSignal(), ran.detail.c_str());
            return 128 + InterruptSignal();
        }
        if (!ran.bOk) {
            report.BootstrapHookFailed(ran.detail);
            return ExitStageFailed;
        }
    }
    if (target.pSim) {
        report.Note("(The simulated Kestrune is powered on with \"SET\" held.)");
        target.pSim->PowerOn(true);
        return ExitSuccess;
    }
    if (options.bAssumeYes || hook || unit.bGoAheadGiven)
        return ExitSuccess;
    const std::string question = target.bFound ? "Then type yes and press Enter to update the Kestrune on " +
                                                     target.shownAs + " (anything else cancels): "
                                               : "Then type yes and press Enter to update (anything else cancels): ";
    Prompt(options.bJson ? io.err : io.out, question.c_str());
    const bool yes = AnswersYes(io.in);
    if (InterruptSignal() != 0) {
        report.Interrupted(0, InterruptSignal(), "");
        return 128 + InterruptSignal();
    }
    if (!yes) {
        report.Cancelled();
        return ExitCancelled;
    }
    return ExitSuccess;
}

// After a successful update: the restart (the person, the power-cycle hook
// or the simulator), and the version the device then reports. After the
// hook, a device that does not report the carried version failed.
int AfterRestart(const CliOptions& options, const UpdateTarget& target, CDeviceLink& link, UpdateReport& report,
                 const CliStreams& io, const UnitRun& unit, UnitRecord& record)
{
    const bool hook = !options.powerCycleCommand.empty();
    if (hook) {
        const HookResult ran = RunUnitHook("power-cycle", options.powerCycleCommand, options, target, unit);
        if (!ran.bOk) {
            record.detail = ran.detail;
            report.RestartChecked(false, ran.detail);
            return ran.bInterrupted ? 128 + InterruptSignal() : ExitStageFailed;
        }
    }
    if (target.pSim) {
        report.Note("(The simulated Kestrune is power-cycled.)");
        target.pSim->PowerOn(false);
    } else if (!hook && options.bAssumeYes) {
        report.Note("Power-cycle the Kestrune and let it restart: it then runs the new firmware.");
        return ExitSuccess;
    } else if (!hook) {
        Prompt(options.bJson ? io.err : io.out, "Power-cycle the Kestrune, let it restart, then press Enter: ");
        AnswersYes(io.in);
        if (InterruptSignal() != 0)
            return ExitSuccess; // the update itself is done
    }
    record.versionAfter = hook ? QueryAfterRestart(link) : QueryDeviceVersion(link);
    report.VersionAfter(record.versionAfter);
    if (!hook)
        return ExitSuccess;
    if (record.versionAfter != std::optional<std::string>(kCarriedFirmwareVersion)) {
        record.detail = record.versionAfter ? "it reports " + *record.versionAfter + ", not " + kCarriedFirmwareVersion
                                            : "it did not answer the version query";
        report.RestartChecked(false, record.detail);
        return InterruptSignal() != 0 ? 128 + InterruptSignal() : ExitStageFailed;
    }
    report.RestartChecked(true, "");
    return ExitSuccess;
}

// A usb: name becomes the port it chooses among those present.
bool Resolve(UpdateTarget& target, UpdateReport& report, UnitRecord& record)
{
    if (!IsUsbName(target.portName))
        return true;
    PortInfo port;
    std::string error;
    if (!ResolveUsbName(target.portName, DiscoverPorts(), port, error)) {
        report.PortUnavailable(error);
        record.detail = FirstLine(error);
        return false;
    }
    target.shownAs = target.portName + " (" + port.path + ")";
    target.portName = port.path;
    return true;
}

// What the adapter may not carry, or what it costs, told once the port is open.
void AdviseOnAdapter(const CliOptions& options, const UpdateTarget& target, const CDeviceLink& link,
                     const std::vector<uint8_t>& versionReply, UpdateReport& report)
{
    if (target.pSim)
        return;
    if (link.LowLatencyRefused())
        report.Note(LowLatencyNote(target.portName));
    const bool garbled = IsGarbledAnswer(versionReply);
#ifdef _WIN32
    const bool look = true; // the latency timer is read from the registry
#else
    const bool look = garbled;
#endif
    if (!look)
        return;
    const std::vector<PortInfo> ports = DiscoverPorts();
    const PortInfo* port = FindPort(target.portName, ports);
    if (garbled) {
        std::string hint = ParityHint(port ? port->driver : "");
        report.Note(hint.substr(0, hint.size() - 1));
    }
    if (port && options.action == CliAction::Update) {
        std::string advice = LatencyAdvice(*port);
        if (!advice.empty())
            report.Note(advice.substr(0, advice.size() - 1));
    }
}

// The unit's update from its port on; what the record says of it goes
// into record as it happens.
int UpdateUnit(const CliOptions& options, const UpdateTarget& named, UpdateReport& report, WireTrace* trace,
               const CliStreams& io, const UnitRun& unit, UnitRecord& record)
{
    UpdateTarget target = named;
    if (!Resolve(target, report, record))
        return ExitPortUnavailable;
    const UpdateGuard hold; // outlives the link, and so its port
    CliObserver observer(report, trace);
    CDeviceLink link;
    link.SetObserver(&observer);
    // A network port waits for its server while it opens and for its
    // answers later: a signal ends those waits too.
    PortOptions portOptions = target.portOptions;
    portOptions.pStopRequested = [] { return InterruptSignal() != 0; };
    const bool opened = link.Open(target.portName, portOptions);
    if (opened)
        record.versionBefore = QueryDeviceVersion(link);
    if (InterruptSignal() != 0) {
        link.Close();
        report.Interrupted(0, InterruptSignal(), "");
        return 128 + InterruptSignal();
    }
    if (!opened) {
        const std::string why = DescribeOpenFailure(target.portName, link.OpenFailure());
        report.PortUnavailable(why);
        record.detail = FirstLine(why);
        return ExitPortUnavailable;
    }
    if (unit.pRecorder)
        record.adapter = AdapterOf(target);
    report.Start(target.shownAs, record.versionBefore);
    // Why the run line could not be set, where the port knows (a network
    // server that set another value than asked); the update needs it not.
    if (const std::string& why = link.LineSettingFailure().text; !why.empty())
        report.Note(why);
    AdviseOnAdapter(options, target, link, observer.versionReply, report);
    if (options.action == CliAction::VersionOnly)
        return ExitSuccess;
    if (options.bSkipCurrent && record.versionBefore == std::optional<std::string>(kCarriedFirmwareVersion)) {
        report.Skipped();
        record.result = UnitResult::Skipped;
        return ExitSuccess;
    }
    if (const int goAhead = GoAhead(options, target, report, io, unit, record); goAhead != ExitSuccess)
        return goAhead;

    const auto started = std::chrono::steady_clock::now();
    const int failedStage = RunUpdateStages(link);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    record.stage = failedStage;
    record.message = StageFailureMessage(failedStage);
    // A failure's detail, or what the success should be known with.
    record.detail = failedStage != 0 ? link.FailureDetail() : link.OutcomeNote();
    if (InterruptSignal() != 0 && failedStage != 0) {
        link.Close(); // the port's settings go back as they were
        report.Interrupted(failedStage, InterruptSignal(), link.FailureDetail());
        record.message.clear();
        return 128 + InterruptSignal();
    }
    report.Outcome(failedStage, record.detail.c_str(), seconds);
    if (failedStage != 0)
        return ExitStageFailed;
    return AfterRestart(options, target, link, report, io, unit, record);
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

UpdateTarget TargetForPort(const std::string& port)
{
    std::string problem; // none: the options were read through the same parser
    const auto name = ParsePortName(port, problem);
    if (!name || name->kind != PortName::Kind::ComNumber)
        return UpdateTarget{port, {}, port};
    return UpdateTarget{OpenName(*name), {}, ShownName(*name), nullptr, false, name->text};
}

std::optional<std::string> PeekVersion(const UpdateTarget& named)
{
    std::string path = named.portName;
    PortInfo port;
    std::string error;
    if (IsUsbName(path) && !ResolveUsbName(path, DiscoverPorts(), port, error))
        return std::nullopt;
    if (IsUsbName(path))
        path = port.path;
    const UpdateGuard hold;
    CDeviceLink link;
    if (!link.Open(path, named.portOptions))
        return std::nullopt;
    return QueryDeviceVersion(link);
}

int UpdateDevice(const CliOptions& options, const UpdateTarget& named, UpdateReport& report, WireTrace* trace,
                 const CliStreams& io, UnitRun& unit)
{
    UnitRecord record = NewUnitRecord(GivenPort(named), unit.slot);
    record.result = UnitResult::Updated;
    const auto started = std::chrono::steady_clock::now();
    const int exit = UpdateUnit(options, named, report, trace, io, unit, record);
    record.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (exit == ExitCancelled)
        record.result = UnitResult::Cancelled;
    else if (exit >= 128)
        record.result = UnitResult::Interrupted;
    else if (exit != ExitSuccess)
        record.result = UnitResult::Failed;
    unit.result = record.result;
    if (unit.pRecorder && options.action == CliAction::Update)
        unit.pRecorder->Write(record);
    return exit;
}
