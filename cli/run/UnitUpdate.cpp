#include "UnitUpdate.h"

#include "AdapterAdvice.h"
#include "CliStreams.h"
#include "InstructionsText.h"
#include "Interrupts.h"
#include "PortDiagnosis.h"
#include "PortIdentity.h"
#include "SimulatedDevice.h"
#include "StationSteps.h"
#include "UnitRecorder.h"
#include "UpdateMessages.h"
#include "UpdateRun.h"
#include "WireTrace.h"

#include <chrono>

// Each step below returns Running to go on, or how the unit's update ended.

namespace {

bool StopRequested() { return InterruptSignal() != 0; }

double SecondsSince(std::chrono::steady_clock::time_point started)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

const std::optional<std::string> kCarried = std::string(kCarriedFirmwareVersion);

} // namespace

void UnitUpdate::Observer::OnFrame(Direction direction, int16_t mode, const ExchangeLabel& exchange,
                                   const uint8_t* bytes, uint32_t count)
{
    if (m_pTrace)
        m_pTrace->Frame(direction, mode, exchange, bytes, count);
    if (direction == Direction::Received && exchange.exchange == LinkExchange::Version)
        versionReply.assign(bytes, bytes + count);
}

bool UnitUpdate::Observer::StopRequested() { return InterruptSignal() != 0; }

UnitUpdate::UnitUpdate(const CliOptions& options, const UpdateTarget& target, UpdateReport& report, WireTrace* trace,
                       const UnitPlace& place)
    : m_options(options), m_target(target), m_report(report), m_place(place), m_observer(report, trace),
      m_record(NewUnitRecord(GivenPort(target), place.slot))
{
    m_link.SetObserver(&m_observer);
}

UnitOutcome UnitUpdate::Run()
{
    const auto started = std::chrono::steady_clock::now();
    UnitOutcome outcome;
    {
        const UpdateGuard hold; // from before the port opens until after it is closed
        outcome = FromPort();
        m_link.Close();
    }
    m_record.seconds = SecondsSince(started);
    // A unit put into bootstrap mode after the bench's question answers no
    // version query: the record keeps what the query before it read.
    if (!m_record.versionBefore)
        m_record.versionBefore = m_place.versionPeeked;
    m_record.result = RecordResult(outcome);
    if (m_record.unit && m_place.pGivenIds)
        m_place.pGivenIds->Ended(*m_record.unit,
                                 m_record.result == UnitResult::Updated || m_record.result == UnitResult::Skipped);
    if (m_place.pRecorder && m_options.action == CliAction::Update)
        m_place.pRecorder->Write(m_record);
    m_report.Ended(outcome);
    return outcome;
}

UnitOutcome UnitUpdate::FromPort()
{
    if (!Resolve())
        return UnitOutcome::PortUnavailable;
    if (const UnitOutcome id = TakeUnitId(); id != UnitOutcome::Running)
        return id;
    if (const UnitOutcome opened = OpenAndAskVersion(); opened != UnitOutcome::Running)
        return opened;
    if (m_options.action == CliAction::VersionOnly)
        return m_record.versionBefore ? UnitOutcome::Done : UnitOutcome::NoAnswer;
    if (m_options.bSkipCurrent && m_record.versionBefore == kCarried) {
        m_report.Skipped();
        return UnitOutcome::Skipped;
    }
    if (const UnitOutcome goAhead = GoAhead(); goAhead != UnitOutcome::Running)
        return goAhead;
    if (const UnitOutcome stages = Stages(); stages != UnitOutcome::Running)
        return stages;
    return Restart();
}

// A usb: name becomes the port it chooses among those present.
bool UnitUpdate::Resolve()
{
    if (!IsUsbName(m_target.portName))
        return true;
    PortInfo port;
    std::string error;
    if (!ResolveUsbName(m_target.portName, DiscoverPorts(), port, error)) {
        m_report.PortUnavailable(error);
        m_record.detail = FirstLine(error);
        return false;
    }
    m_target.shownAs = m_target.portName + " (" + port.path + ")";
    m_target.portName = port.path;
    return true;
}

UnitOutcome UnitUpdate::OpenAndAskVersion()
{
    // A network port waits for its server while it opens and for its
    // answers later: a signal ends those waits too.
    PortOptions portOptions = m_target.portOptions;
    portOptions.pStopRequested = StopRequested;
    const bool opened = m_link.Open(m_target.portName, portOptions);
    if (opened)
        m_record.versionBefore = QueryDeviceVersion(m_link);
    if (InterruptSignal() != 0)
        return Interrupted(0, "");
    if (!opened) {
        const std::string why = DescribeOpenFailure(m_target.portName, m_link.OpenFailure());
        m_report.PortUnavailable(why);
        m_record.detail = FirstLine(why);
        return UnitOutcome::PortUnavailable;
    }
    if (m_place.pRecorder && !m_target.pSim)
        m_record.adapter = AdapterOf(m_target.portName);
    m_report.Start(m_target.shownAs, m_record.versionBefore);
    // Why the run line could not be set (a driver without odd parity, a
    // network server that set another value); the update needs it not.
    if (const std::string why = DescribeLineSettingFailure(m_target.portName, m_link); !why.empty())
        m_report.Note(why);
    AdviseOnAdapter();
    return UnitOutcome::Running;
}

// What the adapter may not carry, or what it costs, told once the port is open.
void UnitUpdate::AdviseOnAdapter()
{
    if (m_target.pSim)
        return;
    if (m_link.LowLatencyRefused())
        m_report.Note(LowLatencyNote(m_target.portName));
    const bool garbled = IsGarbledAnswer(m_observer.versionReply);
    // A refused run line was said with its advice already: no guess on top.
    const bool refused = m_link.LineSettingFailure().kind != PortFailure::Kind::None;
    const bool silent = !m_record.versionBefore && !garbled && !refused;
#ifdef _WIN32
    const bool look = true; // the latency timer is read from the registry
#else
    const bool look = garbled || silent;
#endif
    if (!look)
        return;
    const std::vector<PortInfo> ports = DiscoverPorts();
    const PortInfo* port = FindPort(m_target.portName, ports);
    if (garbled || silent) {
        std::string hint = garbled ? ParityHint(port ? port->driver : "") : NoAnswerHint(port ? port->driver : "");
        m_report.Note(hint.substr(0, hint.size() - 1));
    }
    if (port && m_options.action == CliAction::Update) {
        std::string advice = LatencyAdvice(*port);
        if (!advice.empty())
            m_report.Note(advice.substr(0, advice.size() - 1));
    }
}

// Into bootstrap mode (the person's steps, or the bootstrap hook), and the
// go-ahead.
UnitOutcome UnitUpdate::GoAhead()
{
    const bool hook = !m_options.bootstrapCommand.empty();
    if (!hook && !m_place.bGoAheadGiven)
        m_report.Note(std::string("\n") + KZ_INSTRUCTIONS_HEADING + "\n" + KZ_INSTRUCTIONS_STEPS + "\n" +
                      KZ_INSTRUCTIONS_NOTE + "\n");
    if (hook) {
        const HookResult ran = RunStationHook("bootstrap", m_options.bootstrapCommand);
        m_record.detail = ran.detail;
        if (ran.bInterrupted)
            return Interrupted(0, ran.detail);
        if (!ran.bOk) {
            m_report.BootstrapHookFailed(ran.detail);
            return UnitOutcome::Failed;
        }
    }
    if (m_target.pSim) {
        m_report.Note("(The simulated Kestrune is powered on with \"SET\" held.)");
        m_target.pSim->PowerOn(true);
        return UnitOutcome::Running;
    }
    if (!Asks() || hook || m_place.bGoAheadGiven)
        return UnitOutcome::Running;
    if (m_record.versionBefore == kCarried)
        m_report.Note(std::string("The Kestrune already runs ") + kCarriedFirmwareVersion +
                      "; the update writes the same firmware again.");
    const std::string question = m_target.bFound ? "Then type yes and press Enter to update the Kestrune on " +
                                                       m_target.shownAs + " (anything else cancels): "
                                                 : "Then type yes and press Enter to update (anything else cancels): ";
    const bool yes = IsYes(m_place.pPrompt->Ask(question, {"yes", "no"}));
    if (InterruptSignal() != 0)
        return Interrupted(0, "");
    if (!yes) {
        m_report.Cancelled();
        return UnitOutcome::Cancelled;
    }
    return UnitOutcome::Running;
}

UnitOutcome UnitUpdate::Stages()
{
    const auto started = std::chrono::steady_clock::now();
    const int failedStage = RunUpdateStages(m_link);
    const double seconds = SecondsSince(started);
    m_record.stage = failedStage;
    m_record.message = StageFailureMessage(failedStage);
    // A failure's detail, or what the success should be known with.
    m_record.detail = failedStage != 0 ? m_link.FailureDetail() : m_link.OutcomeNote();
    // A line setting the port refused ends its stage at once (the stages
    // never set the run line): said with the port and what was asked.
    if (failedStage != 0 && m_link.LineMode() != kRunLine)
        if (const std::string why = DescribeLineSettingFailure(m_target.portName, m_link); !why.empty())
            m_record.detail = FirstLine(why);
    if (InterruptSignal() != 0 && failedStage != 0) {
        m_record.message.clear();
        return Interrupted(failedStage, m_record.detail);
    }
    m_report.Outcome(failedStage, m_record.detail.c_str(), seconds);
    // The device answered the version query, which only its firmware does:
    // most likely it was never put into bootstrap mode.
    if (failedStage == 1 && m_record.versionBefore && !m_target.pSim && m_options.bootstrapCommand.empty())
        m_report.Note("The Kestrune answered the version query, so it was running its firmware, not its bootstrap "
                      "mode: power it off for 5 seconds, hold \"SET\" while powering it on, release it after 5 "
                      "seconds, and repeat the update.");
    return failedStage != 0 ? UnitOutcome::Failed : UnitOutcome::Running;
}

// The port's settings go back as they were before the report tells it.
UnitOutcome UnitUpdate::Interrupted(int stage, const std::string& detail)
{
    m_link.Close();
    m_report.Interrupted(stage, InterruptSignal(), detail.c_str());
    return UnitOutcome::Interrupted;
}

HookResult UnitUpdate::RunStationHook(const char* name, const std::string& command)
{
    m_report.Hook(name);
    HookResult ran = RunHook(HookCall{name, command, GivenPort(m_target), m_place.slot, m_options.hookTimeoutS,
                                      m_place.hookOutput, StopRequested, m_place.hookLine, m_record.unit.value_or("")});
    m_report.Hook(nullptr);
    return ran;
}
