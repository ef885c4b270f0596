#include "DeviceUpdate.h"

#include "AdapterAdvice.h"
#include "InstructionsText.h"
#include "Interrupts.h"
#include "PortDiagnosis.h"
#include "PortIdentity.h"
#include "SimulatedDevice.h"
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
    void OnFrame(Direction direction, int16_t mode, const char* exchange, const uint8_t* bytes, uint32_t count) override
    {
        if (m_pTrace)
            m_pTrace->Frame(direction, mode, exchange, bytes, count);
        if (direction == Direction::Received && std::string(exchange) == "version")
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

// The steps into bootstrap mode, and the go-ahead: ExitSuccess to update.
int GoAhead(const CliOptions& options, const UpdateTarget& target, UpdateReport& report, const CliStreams& io)
{
    report.Note(std::string("\n") + KZ_INSTRUCTIONS_HEADING + "\n" + KZ_INSTRUCTIONS_STEPS + "\n" +
                KZ_INSTRUCTIONS_NOTE + "\n");
    if (target.pSim) {
        report.Note("(The simulated Kestrune is powered on with \"SET\" held.)");
        target.pSim->PowerOn(true);
        return ExitSuccess;
    }
    if (options.bAssumeYes)
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

// After a successful update: the restart, and the version the device then reports.
int AfterRestart(const CliOptions& options, const UpdateTarget& target, CDeviceLink& link, UpdateReport& report,
                 const CliStreams& io)
{
    if (target.pSim) {
        report.Note("(The simulated Kestrune is power-cycled.)");
        target.pSim->PowerOn(false);
    } else if (options.bAssumeYes) {
        report.Note("Power-cycle the Kestrune and let it restart: it then runs the new firmware.");
        return ExitSuccess;
    } else {
        Prompt(options.bJson ? io.err : io.out, "Power-cycle the Kestrune, let it restart, then press Enter: ");
        AnswersYes(io.in);
        if (InterruptSignal() != 0)
            return ExitSuccess; // the update itself is done
    }
    report.VersionAfter(QueryDeviceVersion(link));
    return ExitSuccess;
}

// A usb: name becomes the port it chooses among those present.
bool Resolve(UpdateTarget& target, UpdateReport& report)
{
    if (!IsUsbName(target.portName))
        return true;
    PortInfo port;
    std::string error;
    if (!ResolveUsbName(target.portName, DiscoverPorts(), port, error)) {
        report.PortUnavailable(error);
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
    const bool number = !port.empty() && std::all_of(port.begin(), port.end(), [](char c) { return std::isdigit(c); });
    if (!number)
        return UpdateTarget{port, {}, port};
    const std::string com = "COM" + port;
    const std::string name = PortNameOf(static_cast<uint8_t>(std::stoi(port)));
    return UpdateTarget{name, {}, name == com ? com : com + " (" + name + ")"};
}

int UpdateDevice(const CliOptions& options, const UpdateTarget& named, UpdateReport& report, WireTrace* trace,
                 const CliStreams& io)
{
    UpdateTarget target = named;
    if (!Resolve(target, report))
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
    const std::optional<std::string> versionBefore = opened ? QueryDeviceVersion(link) : std::nullopt;
    if (InterruptSignal() != 0) {
        link.Close();
        report.Interrupted(0, InterruptSignal(), "");
        return 128 + InterruptSignal();
    }
    if (!opened) {
        report.PortUnavailable(DescribeOpenFailure(target.portName, link.OpenFailure()));
        return ExitPortUnavailable;
    }
    report.Start(target.shownAs, versionBefore);
    // Why the run line could not be set, where the port knows (a network
    // server that set another value than asked); the update needs it not.
    if (*link.PortProblem())
        report.Note(link.PortProblem());
    AdviseOnAdapter(options, target, link, observer.versionReply, report);
    if (options.action == CliAction::VersionOnly)
        return ExitSuccess;
    if (const int goAhead = GoAhead(options, target, report, io); goAhead != ExitSuccess)
        return goAhead;

    const auto started = std::chrono::steady_clock::now();
    const int failedStage = RunUpdateStages(link);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (InterruptSignal() != 0 && failedStage != 0) {
        link.Close(); // the port's settings go back as they were
        report.Interrupted(failedStage, InterruptSignal(), link.FailureDetail());
        return 128 + InterruptSignal();
    }
    report.Outcome(failedStage, link.FailureDetail(), seconds);
    if (failedStage != 0)
        return ExitStageFailed;
    return AfterRestart(options, target, link, report, io);
}
