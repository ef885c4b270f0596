#include "Bench.h"

#include "BenchReport.h"
#include "DeviceUpdate.h"
#include "Interrupts.h"
#include "PortName.h"
#include "ProgressPlan.h"
#include "SimulatedDevice.h"
#include "StationRounds.h"
#include "UnitRecorder.h"
#include "UpdateMessages.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// What the devices' threads and the bench's own share, under one lock.
struct BenchState {
    std::mutex mutex;
    std::condition_variable changed;
    BenchReport report;
    std::vector<BenchDevice> devices;
    std::vector<std::string> errors;
    std::vector<UnitRun> units;
    size_t running = 0;
};

// A device's report goes to the bench's table and stream.
class BenchDeviceSink : public JsonEventSink {
public:
    BenchDeviceSink(BenchState& bench, size_t index) : m_bench(bench), m_index(index) {}
    void Event(const JsonEvent& event) override
    {
        std::lock_guard lock(m_bench.mutex);
        m_bench.report.Event(m_bench.devices[m_index], event);
    }
    void Error(const std::string& text) override
    {
        std::lock_guard lock(m_bench.mutex);
        m_bench.errors[m_index] += text;
    }

private:
    BenchState& m_bench;
    size_t m_index;
};

// One device's update, as a single update with --yes --json would run it.
int UpdateOneDevice(const CliOptions& bench, size_t index, JsonEventSink& sink, const ProgressPlan& plan, UnitRun& unit)
{
    CliOptions options = bench;
    options.action = CliAction::Update;
    options.bJson = options.bAssumeYes = true;
    options.faults.clear();
    for (const BenchFault& fault : bench.benchFaults)
        if (fault.device == index + 1)
            options.faults.push_back(fault.fault);
    const auto report = MakeJsonReport(sink, plan);
    if (!bench.benchSimulated)
        return UpdateDevice(options, TargetForPort(bench.benchPorts[index]), *report, nullptr, CliStreams{}, unit);
    std::string reason;
    const auto sim = StartSimulatedDevice(options, reason);
    if (!sim)
        return sink.Error(reason), ExitNoSimulator;
    const UpdateTarget target{sim->PortName(), PortOptions{options.bPaced},
                              sim->Name(),     sim.get(),
                              false,           "simulated " + std::to_string(index + 1)};
    return UpdateDevice(options, target, *report, nullptr, CliStreams{}, unit);
}

void RunDevice(const CliOptions& options, size_t index, BenchState& bench, const ProgressPlan& plan)
{
    const auto started = Clock::now();
    BenchDeviceSink sink(bench, index);
    const int exit = UpdateOneDevice(options, index, sink, plan, bench.units[index]);
    std::lock_guard lock(bench.mutex);
    BenchDevice& device = bench.devices[index];
    device.exit = exit;
    device.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    bench.report.Finished(device, bench.errors[index]);
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

// With --skip-current the question counts the devices that already run
// the carried version: each port gets the version query alone first. (ser2net
// takes a moment after a connection closes before it serves the next one;
// a person's answer gives it that, an answer piped in at once may not.)
bool GoAhead(const CliOptions& options, size_t devices, const CliStreams& io)
{
    if (options.benchSimulated || options.bAssumeYes || !options.bootstrapCommand.empty())
        return true;
    std::FILE* prompts = options.bJson ? io.err : io.out;
    if (options.bSkipCurrent) {
        size_t current = 0;
        for (const std::string& port : options.benchPorts)
            current += PeekVersion(TargetForPort(port)) == std::optional<std::string>(kCarriedFirmwareVersion) ? 1 : 0;
        std::fprintf(prompts, "%zu of the %zu Kestrunes already run %s and will be skipped; leave them as they are.\n",
                     current, devices, kCarriedFirmwareVersion);
        devices -= current;
    }
    std::fprintf(prompts,
                 "Put each of the %zu Kestrunes into bootstrap mode: power off for 5 seconds, hold \"SET\"\n"
                 "while powering on, release it after 5 seconds. Then type yes and press Enter: ",
                 devices);
    std::fflush(prompts);
    return AnswersYes(io.in);
}

// One round: the first count slots at once. ExitSuccess when every unit was
// updated (or skipped), ExitStageFailed otherwise.
int RunRound(const CliOptions& options, size_t count, const CliStreams& io, UnitRecorder* recorder,
             StationRounds& rounds)
{
    const ProgressPlan plan = ProgressPlan::ForCarriedImages();
    BenchState bench{{},
                     {},
                     BenchReport(io.out, options.bJson),
                     std::vector<BenchDevice>(count),
                     std::vector<std::string>(count),
                     std::vector<UnitRun>(count),
                     count};
    for (size_t i = 0; i < count; ++i) {
        bench.devices[i].name = BenchName(options, i);
        bench.units[i] = UnitRun{static_cast<uint32_t>(i + 1), recorder, io.err, true};
    }
    std::vector<std::thread> threads;
    for (size_t i = 0; i < count; ++i)
        threads.emplace_back(RunDevice, std::cref(options), i, std::ref(bench), std::cref(plan));
    {
        std::unique_lock lock(bench.mutex);
        while (bench.running > 0) {
            bench.report.Redraw(bench.devices);
            bench.changed.wait_for(lock, std::chrono::milliseconds(100));
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    bench.report.Table(bench.devices, recorder ? recorder->Failure() : "");
    for (const UnitRun& unit : bench.units)
        rounds.Count(unit.result);
    const bool allDone =
        std::all_of(bench.devices.begin(), bench.devices.end(), [](const BenchDevice& d) { return d.bOk; });
    return allDone ? ExitSuccess : ExitStageFailed;
}

} // namespace

int RunBench(const CliOptions& options, const CliStreams& io)
{
    CatchInterrupts();
    UnitRecorder recorder(io.err);
    if (!options.recordPath.empty() && !recorder.Open(options.recordPath))
        return ExitUsage;
    const size_t count = options.benchSimulated ? options.benchSimulated : options.benchPorts.size();
    if (!options.bStation && !GoAhead(options, count, io)) {
        std::fprintf(io.err, "Bench cancelled; nothing was sent.\n");
        return ExitCancelled;
    }
    const bool waits = options.bStation && options.bootstrapCommand.empty() && !options.benchSimulated;
    StationRounds rounds(RoundsPlan{options.bStation, options.units, waits, options.bJson, io.out,
                                    options.bJson ? io.err : io.out, io.in, InterruptSignal},
                         count);
    rounds.Watch(recorder);
    int exit = ExitSuccess;
    for (size_t units; (units = rounds.Next()) > 0;)
        if (RunRound(options, units, io, options.recordPath.empty() ? nullptr : &recorder, rounds) != ExitSuccess)
            exit = ExitStageFailed;
    rounds.Summary();
    if (InterruptSignal() != 0)
        return 128 + InterruptSignal();
    return exit == ExitSuccess && !recorder.Failure().empty() ? ExitStageFailed : exit;
}
