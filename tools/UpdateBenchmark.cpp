// Times a whole update against the simulated Kestrune with every byte
// taking its wire time, and sets it beside what the protocol itself needs:
// the characters on the wire, the fixed pauses and the device's own work.
// Beside each: the host's overhead (the time beyond that limit) and its
// turnarounds as the simulated device saw them. Also counts heap allocations
// the updater's thread makes while updating.
//
// Paced, it also times the update behind a USB adapter's latency timer (16 ms,
// FTDI's default, and 1 ms, what low latency gets), with the command line's
// progress display and wire trace watching, and through ser2net on loopback
// (an RFC 2217 network port), beside the local one.
//
// Paced, it also sets the update with the page's share beside the same
// update without it, in turns: the unit's events fed to the page's state
// and that state read as the page's server reads it for a browser.
//
// With --bench it runs N paced updates at once, each in a process of its own
// as a service bench does, and sets the bench's wall time beside one
// device's, with the updater thread's processor time per device.
//
// usage: update_benchmark [--unpaced | --page] | --bench [N...]

#include "PageLoad.h"
#include "ProgressPlan.h"
#include "ProtocolLimit.h"
#include "TimedUpdate.h"
#include "UpdateReport.h"
#include "WireTrace.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// 8N1: a start bit, eight data bits, a stop bit.
constexpr double kBootstrapCharacter = 10.0 / 9600;
constexpr double kLoaderCharacter = 10.0 / 38400;

// What a paced update should keep to on this machine.
constexpr double kTargetRatio = 1.015;
constexpr std::chrono::microseconds kTargetTurnaround(200);
constexpr double kTargetNetworkRatio = 1.05; // through ser2net, beside the local update
constexpr double kTargetPageRatio = 1.01;    // with the page's share, beside the same update without
constexpr int kPagePairs = 2;                // updates with and without the page, in turns

// The command line's displays, watching as they do in kestrune-update.
class DisplayObserver : public LinkObserver {
public:
    DisplayObserver(UpdateReport& report, WireTrace& trace) : m_report(report), m_trace(trace) {}
    void OnStep(const StageProgress& progress) override { m_report.Step(progress); }
    void OnFrame(Direction direction, int16_t mode, const ExchangeLabel& exchange, const uint8_t* bytes,
                 uint32_t count) override
    {
        m_trace.Frame(direction, mode, exchange, bytes, count);
    }

private:
    UpdateReport& m_report;
    WireTrace& m_trace;
};

double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// N paced updates at once, one process each: the bench's wall time and the
// mean of the updater threads' processor time; nullopt if one failed.
std::optional<std::pair<double, double>> Bench(int devices)
{
    int results[2];
    if (pipe(results) != 0)
        return std::nullopt;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < devices; ++i)
        if (fork() == 0) {
            const double cpuBefore = ThreadCpuSeconds();
            const auto run = TimedUpdate(true, 0, nullptr);
            const double cpu = run ? ThreadCpuSeconds() - cpuBefore : -1;
            (void)!write(results[1], &cpu, sizeof cpu);
            _exit(run ? 0 : 1);
        }
    close(results[1]);
    double cpuTotal = 0;
    bool allDone = true;
    for (double cpu; read(results[0], &cpu, sizeof cpu) == sizeof cpu;) {
        allDone = allDone && cpu >= 0;
        cpuTotal += cpu;
    }
    close(results[0]);
    while (wait(nullptr) > 0) {
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!allDone)
        return std::nullopt;
    return std::make_pair(wall, cpuTotal / devices);
}

void PrintLimit(const ProtocolLimit& limit)
{
    std::printf("  wire time      %7.3f s\n"
                "  fixed pauses   %7.3f s (the sign-on read %.3f s after the last echo, 0.2 s pause after it)\n"
                "  device work    %7.3f s\n"
                "  protocol limit %7.3f s\n",
                limit.wire, limit.pauses, limit.signOnRead, limit.deviceWork, limit.Total());
    std::printf("  %-44s %9s  %7s  %8s  %6s   %s\n", "", "update", "x limit", "overhead", "stolen",
                "host turnaround: median / p99 / max (all)");
}

void PrintRun(const char* what, const std::optional<TimedRun>& run, double limit)
{
    if (!run)
        return;
    const TurnaroundSummary& turnarounds = run->turnarounds;
    std::printf("  %-44s %7.3f s  %7.3f  %6.3f s  %4.1f s   %6lld / %lld / %lld us (%.3f s)\n", what, run->seconds,
                run->seconds / limit, run->seconds - limit, run->stolen,
                static_cast<long long>(turnarounds.median.count()), static_cast<long long>(turnarounds.p99.count()),
                static_cast<long long>(turnarounds.max.count()),
                std::chrono::duration<double>(turnarounds.total).count());
}

void PrintTargets(const TimedRun& run, double limit)
{
    const double ratio = run.seconds / limit;
    const auto median = run.turnarounds.median;
    std::printf("  targets: within %.3f x the limit: %s (%.3f); median host turnaround under %lld us: %s "
                "(%lld us of %zu)\n",
                kTargetRatio, ratio <= kTargetRatio ? "met" : "missed", ratio,
                static_cast<long long>(kTargetTurnaround.count()), median < kTargetTurnaround ? "met" : "missed",
                static_cast<long long>(median.count()), run.turnarounds.count);
    // A wait for a processor the hypervisor has lent out shows as host overhead.
    if (run.stolen > 1.0)
        std::printf(
            "  (a hypervisor took %.1f s of processor time during that update: its figures are the machine's)\n",
            run.stolen);
}

// The page's share: the same update with and without it, in turns, so that
// what the machine does meanwhile falls on both alike.
void PrintPageRows(double limit, bool browser)
{
    double without = 0, with = 0;
    size_t snapshots = 0, bytes = 0;
    for (int i = 0; i < kPagePairs; ++i) {
        const auto alone = TimedUpdate(true, 0, nullptr);
        PageLoad page(browser);
        const auto fed = TimedUpdate(true, 0, &page);
        if (!alone || !fed || (browser && !page.Served())) {
            std::printf("  the page's share: an update failed or the browser did not start; no figure\n");
            return;
        }
        PrintRun("  without the page", alone, limit);
        PrintRun(browser ? "  with the page served, a browser connected" : "  with the page fed and read every 100 ms",
                 fed, limit);
        without += alone->seconds;
        with += fed->seconds;
        snapshots += page.Snapshots();
        bytes += page.Bytes();
    }
    const double ratio = with / without;
    std::printf("  the page's share (%s): with x without %.4f over %d pairs (target within %.2f: %s)",
                browser ? "served to headless chromium" : "fed and read here", ratio, kPagePairs, kTargetPageRatio,
                ratio <= kTargetPageRatio ? "met" : "missed");
    if (!browser)
        std::printf("; %zu states read, %zu KiB", snapshots, bytes / 1024);
    std::printf("\n");
}

int RunBenches(int argc, char** argv)
{
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {1, 2, 4, 8, 16};
    std::printf("Paced updates of simulated Kestrunes at once, one process each (%ld cores)\n",
                sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("  devices   bench wall   x one device   updater CPU per device (%% of wall)\n");
    double one = 0; // one device's wall time
    if (sizes.front() != 1) {
        const auto single = Bench(1);
        if (!single)
            return 1;
        one = single->first;
    }
    for (int devices : sizes) {
        const auto result = Bench(devices);
        if (!result) {
            std::printf("  %7d   an update failed\n", devices);
            return 1;
        }
        if (one == 0)
            one = result->first;
        std::printf("  %7d   %8.2f s   %12.3f   %8.3f s (%.2f%%)\n", devices, result->first, result->first / one,
                    result->second, 100.0 * result->second / result->first);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--bench") == 0)
        return RunBenches(argc, argv);
    const bool paced = !(argc > 1 && std::strcmp(argv[1], "--unpaced") == 0);
    const auto plain = TimedUpdate(paced, 0, nullptr);
    if (!plain)
        return 1;
    if (argc > 1 && std::strcmp(argv[1], "--page") == 0) {
        std::printf("Update of the simulated Kestrune, paced at line speed, with and without the page\n");
        const ProtocolLimit model = LimitOfUpdate(plain->timing, kBootstrapCharacter, kLoaderCharacter);
        PrintLimit(model);
        PrintPageRows(model.Total(), false);
        PrintPageRows(model.Total(), true);
        return 0;
    }
    if (!paced) {
        std::printf("Update of the simulated Kestrune, bytes passed at once\n");
        std::printf("  measured       %7.3f s (the fixed pauses alone are %.1f s)\n", plain->seconds,
                    LimitOfUpdate(plain->timing, 0, 0).pauses);
    } else {
        std::printf("Update of the simulated Kestrune, paced at line speed\n");
        const ProtocolLimit model = LimitOfUpdate(plain->timing, kBootstrapCharacter, kLoaderCharacter);
        PrintLimit(model);
        const double limit = model.Total();
        PrintRun("measured", plain, limit);
        PrintRun("with a 16 ms adapter latency timer (FTDI)", TimedUpdate(true, 16, nullptr), limit);
        PrintRun("with a 1 ms latency timer (low latency)", TimedUpdate(true, 1, nullptr), limit);
        // What kestrune-update adds: its progress display and a wire trace.
        std::FILE* sink = std::fopen("/dev/null", "w");
        std::FILE* traceFile = std::tmpfile();
        const ProgressPlan plan = ProgressPlan::ForCarriedImages();
        const auto report = MakeTerminalReport(sink, sink, false, plan);
        WireTrace trace(traceFile);
        DisplayObserver observer(*report, trace);
        PrintRun("with progress display and --trace to a file", TimedUpdate(true, 0, &observer), limit);
        std::fclose(sink);
        std::fclose(traceFile);
        const auto network = TimedUpdate(true, 0, nullptr, "");
        PrintRun("through ser2net on loopback (RFC 2217)", network, limit);
        const auto tuned = TimedUpdate(true, 0, nullptr, "chardelay: false");
        PrintRun("  the same, ser2net with chardelay: false", tuned, limit);
        PrintPageRows(limit, false);
        PrintPageRows(limit, true);
        PrintTargets(*plain, limit);
        for (const auto& [what, run] : {std::pair{"network", &network}, std::pair{"network, no chardelay", &tuned}})
            if (*run)
                std::printf("  %s x the local update: %.3f (target within %.2f: %s)\n", what,
                            (*run)->seconds / plain->seconds, kTargetNetworkRatio,
                            (*run)->seconds / plain->seconds <= kTargetNetworkRatio ? "met" : "missed");
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("  heap allocations on the updater's thread during the update: %llu\n",
                static_cast<unsigned long long>(plain->allocations));
    std::printf("  peak resident memory of the process: %ld KiB\n", usage.ru_maxrss);
    return 0;
}
