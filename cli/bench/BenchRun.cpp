#include "Bench.h"

#include "BenchReport.h"
#include "FanOutReport.h"
#include "PageFeed.h"
#include "PagePrompt.h"
#include "PageWatcher.h"
#include "PortName.h"
#include "ProgressPlan.h"
#include "SimulatedDevice.h"
#include "UnitUpdate.h"
#include "UpdateMessages.h"
#include "UpdateSession.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using Version = std::optional<std::string>;

// What the units' threads and the bench's own share, under one lock.
struct BenchState {
    std::mutex mutex;
    std::condition_variable changed;
    BenchReport report;
    std::vector<BenchUnit> units; // a slot's unit under way, or the last it finished
    size_t running = 0;           // slots
    // Units finished at their own pace.
    size_t finished = 0;
    size_t succeeded = 0; // updated or skipped
    size_t updated = 0;
};

// What a round's units are given.
struct BenchRound {
    const CliOptions& options;
    const ProgressPlan& plan;
    BenchState& bench;
    StationRounds& rounds;
    std::vector<UnitPlace> places;
    PageState* page;                    // or none
    std::vector<std::string> hookPorts; // each slot's KESTRUNE_PORT
    RoundRestart restart;               // where the person power-cycles the units
};

// A unit's snapshot and its JSON events go to the bench under its lock.
class BenchView : public UnitWatcher, public JsonEventSink {
public:
    BenchView(BenchState& bench, size_t index) : m_bench(bench), m_index(index) {}
    void Changed(const UnitStatus& status, UnitChange change) override
    {
        std::lock_guard lock(m_bench.mutex);
        m_bench.report.Changed(m_bench.units[m_index], status, change);
    }
    void Event(const JsonEvent& event) override
    {
        std::lock_guard lock(m_bench.mutex);
        m_bench.report.Event(m_bench.units[m_index], event);
    }
    void Error(const std::string&) override {} // the snapshot keeps it

private:
    BenchState& m_bench;
    size_t m_index;
};

// The unit's update, on its port or on a simulated Kestrune of its own.
UnitOutcome UpdateOneUnit(const BenchRound& round, size_t index, UpdateReport& report, std::string& error)
{
    // The unit's own options: an update, with the faults of its slot.
    CliOptions options = round.options;
    options.action = CliAction::Update;
    options.faults.clear();
    for (const BenchFault& fault : round.options.benchFaults)
        if (fault.device == index + 1)
            options.faults.push_back(fault.fault);
    if (!options.benchSimulated)
        return UnitUpdate(options, TargetForPort(options.benchPorts[index]), report, nullptr, round.places[index])
            .Run();
    const auto sim = StartSimulatedDevice(options, error);
    if (!sim)
        return UnitOutcome::NoSimulator;
    const UpdateTarget target{sim->PortName(), PortOptions{options.bPaced},
                              sim->Name(),     sim.get(),
                              false,           "simulated " + std::to_string(index + 1)};
    return UnitUpdate(options, target, report, nullptr, round.places[index]).Run();
}

void RunUnit(const BenchRound& round, size_t index)
{
    const auto started = Clock::now();
    BenchView view(round.bench, index);
    StatusReport status(round.plan, view);
    const auto json = round.options.bJson ? MakeJsonReport(view, round.plan) : nullptr;
    PageWatcher pageView(round.page, static_cast<uint32_t>(index + 1));
    StatusReport pageStatus(round.plan, pageView);
    FanOutReport report{json.get(), &status, round.page ? &pageStatus : nullptr};
    std::string error;
    const UnitOutcome outcome = UpdateOneUnit(round, index, report, error);
    std::lock_guard lock(round.bench.mutex);
    BenchUnit& unit = round.bench.units[index];
    unit.status.error += error;
    unit.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    round.bench.report.Finished(unit, outcome);
    if (round.page) { // the tile ends as the table's row does
        round.page->UnitChanged(static_cast<uint32_t>(index + 1), unit.status);
        UnitFinished(*round.page, static_cast<uint32_t>(index + 1), unit.name, unit.status, unit.seconds);
    }
}

// A slot's thread: one unit in a round; at their own pace, unit after unit
// while the next-unit command says one is in place. Each finished unit is
// counted, and at its own pace shown as a row of the table at once.
void RunSlot(const BenchRound& round, size_t index)
{
    BenchState& bench = round.bench;
    const bool ownPace = round.rounds.AtOwnPace();
    const auto slot = static_cast<uint32_t>(index + 1);
    for (bool first = true; first || (ownPace && round.rounds.TakeNext(slot, round.hookPorts[index])); first = false) {
        if (!first) {
            std::lock_guard lock(bench.mutex);
            BenchUnit next;
            next.name = bench.units[index].name;
            bench.units[index] = next;
            if (round.page)
                round.page->ResetSlot(slot);
        }
        RunUnit(round, index);
        std::lock_guard lock(bench.mutex);
        const BenchUnit& unit = bench.units[index];
        round.rounds.Count(RecordResult(unit.status.outcome));
        if (ownPace) {
            bench.report.Row(unit);
            ++bench.finished;
            bench.succeeded += UnitSucceeded(unit) ? 1 : 0;
            bench.updated += unit.status.outcome == UnitOutcome::Done ? 1 : 0;
        }
    }
    std::lock_guard lock(bench.mutex);
    --bench.running;
    bench.changed.notify_all();
}

// "simulated 3", "COM12", or the port's name as given.
std::string BenchName(const CliOptions& options, size_t index)
{
    if (options.benchSimulated)
        return "simulated " + std::to_string(index + 1);
    std::string problem;
    const auto name = ParsePortName(options.benchPorts[index], problem);
    return name ? name->text : options.benchPorts[index];
}

// With --skip-current the question lists the units by slot and port with
// the version each reported, and those that already run the carried
// version and will be skipped: each port gets the version query alone
// first, and what it read goes into before. (ser2net takes a moment after
// a connection closes before it serves the next one; a person's answer
// gives it that, an answer piped in at once may not.)
bool GoAhead(const CliOptions& options, size_t devices, PersonPrompt& prompt, std::vector<Version>& before)
{
    if (options.benchSimulated || options.bAssumeYes || !options.bootstrapCommand.empty())
        return true;
    if (options.bSkipCurrent) {
        size_t current = 0;
        std::string list;
        for (size_t i = 0; i < options.benchPorts.size(); ++i) {
            before[i] = PeekVersion(TargetForPort(options.benchPorts[i]));
            const bool skipped = before[i] == Version(kCarriedFirmwareVersion);
            current += skipped ? 1 : 0;
            list += "  slot " + std::to_string(i + 1) + "  " + BenchName(options, i) + "  " +
                    before[i].value_or(kUnknownVersion) + (skipped ? "  skipped: leave it as it is" : "") + "\n";
        }
        prompt.Tell(std::to_string(current) + " of the " + std::to_string(devices) + " Kestrunes already run " +
                    kCarriedFirmwareVersion + " and will be skipped; leave them as they are.\n" + list);
        devices -= current;
    }
    return IsYes(prompt.Ask("Put each of the " + std::to_string(devices) +
                                " Kestrunes into bootstrap mode: power off for 5 seconds, hold \"SET\"\n"
                                "while powering on, release it after 5 seconds. Then type yes and press Enter: ",
                            {"yes", "no"}));
}

// One round: the first count slots at once, or at their own pace each slot
// until it ends. ExitSuccess when every unit was updated (or skipped),
// ExitStageFailed otherwise. before: the version each slot's query read
// before the question, if any.
int RunRound(const CliOptions& options, const std::vector<Version>& before, UpdateSession& session,
             StationRounds& rounds, PageState* page)
{
    const size_t count = before.size();
    const CliStreams& io = session.Streams();
    const ProgressPlan plan = ProgressPlan::ForCarriedImages();
    BenchState bench{{}, {}, BenchReport(io.out, options.bJson), std::vector<BenchUnit>(count), count};
    BenchRound round{options, plan, bench, rounds, {}, page, {}, {}};
    // Attended: the person power-cycles the round's updated units at once.
    const bool attended =
        !options.benchSimulated && options.powerCycleCommand.empty() && !options.bAssumeYes && !rounds.AtOwnPace();
    bool restartAsked = !attended;
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        names.push_back(bench.units[i].name = BenchName(options, i));
        UnitPlace place{static_cast<uint32_t>(i + 1), session.Recorder(), io.err, true};
        place.versionPeeked = before[i];
        // The hooks' lines go above the status lines, which are drawn again beneath them.
        place.hookLine = [&bench, err = io.err](const std::string& line) {
            std::lock_guard lock(bench.mutex);
            bench.report.Above(bench.units, err, line);
        };
        place.pIdPrompt = &session.Prompt();
        place.pGivenIds = &session.GivenIds();
        place.pRestart = attended ? &round.restart : nullptr;
        round.places.push_back(std::move(place));
        round.hookPorts.push_back(options.benchSimulated ? "simulated " + std::to_string(i + 1)
                                                         : GivenPort(TargetForPort(options.benchPorts[i])));
    }
    if (page)
        NamePageSlots(*page, names, options.benchSimulated != 0);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < count; ++i)
        threads.emplace_back(RunSlot, std::cref(round), i);
    {
        std::unique_lock lock(bench.mutex);
        while (bench.running > 0) {
            if (!restartAsked && round.restart.Waiting() == bench.running) {
                restartAsked = true;
                const std::string question = "Power-cycle the " + std::to_string(bench.running) +
                                             " updated Kestrunes, let them restart, then press Enter: ";
                lock.unlock();
                const bool answered = session.Prompt().Ask(question, {""}).has_value();
                round.restart.Answer(answered);
                lock.lock();
            }
            bench.report.Redraw(bench.units);
            bench.changed.wait_for(lock, std::chrono::milliseconds(100));
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    const std::string recordFailure = session.Recorder() ? session.Recorder()->Failure() : "";
    if (rounds.AtOwnPace()) {
        bench.report.Redraw(bench.units, true);
        bench.report.Totals(bench.updated, bench.succeeded - bench.updated, bench.finished, recordFailure);
        return bench.succeeded == bench.finished ? ExitSuccess : ExitStageFailed;
    }
    bench.report.Table(bench.units, recordFailure);
    return std::all_of(bench.units.begin(), bench.units.end(), UnitSucceeded) ? ExitSuccess : ExitStageFailed;
}

} // namespace

int RunBench(const CliOptions& options, const CliStreams& io) { return RunBench(options, io, nullptr); }

int RunBench(const CliOptions& options, const CliStreams& io, PageState* page)
{
    UpdateSession session(options, io);
    if (!session.Open())
        return ExitUsage;
    const size_t count = options.benchSimulated ? options.benchSimulated : options.benchPorts.size();
    // With a page, the person is asked there, the bench's go-ahead as the station's rounds.
    std::optional<PagePrompt> pagePrompt;
    if (page)
        session.AskThrough(pagePrompt.emplace(*page));
    std::vector<Version> before(count);
    if (!options.bStation && !GoAhead(options, count, session.Prompt(), before)) {
        std::fprintf(io.err, "Bench cancelled; nothing was sent.\n");
        if (page)
            page->SetEnded(true);
        return ExitCancelled;
    }
    StationRounds& rounds = session.Rounds(count, options.benchSimulated != 0);
    int exit = ExitSuccess;
    for (size_t units; (units = rounds.Next()) > 0; before.clear()) {
        before.resize(units); // the versions read before the question are the first round's only
        if (RunRound(options, before, session, rounds, page) != ExitSuccess)
            exit = ExitStageFailed;
    }
    if (page)
        page->SetEnded(true);
    return session.Finish(exit);
}
