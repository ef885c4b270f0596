// Times a whole update against the simulated Kestrune with every byte
// taking its wire time, and sets it beside what the protocol itself needs:
// the characters on the wire, the fixed pauses and the device's own work.
// Also counts heap allocations the updater's thread makes while updating.
//
// Paced, it also times the update behind a USB adapter's latency timer (16 ms,
// FTDI's default, and 1 ms, what low latency gets) and with the command
// line's progress display and wire trace watching.
//
// usage: update_benchmark [--unpaced]

#include "PortDevices.h"
#include "ProgressPlan.h"
#include "SimulatedKestrune.h"
#include "UpdateReport.h"
#include "UpdateRun.h"
#include "WireTrace.h"

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

namespace {

thread_local bool t_counting = false;
std::atomic<uint64_t> g_allocations{0};

double CharacterSeconds(double baud) { return 10.0 / baud; }

// Seconds the protocol cannot do without, for the given device timing.
double ProtocolSeconds(const DeviceTiming& timing)
{
    const double bootstrap = CharacterSeconds(9600);
    const double loader = CharacterSeconds(38400);
    const double pages = 49 + 247;
    double wire = (1 + 256 + 1) * bootstrap;                           // download; its echo overlaps
    wire += (5 + 1 + 256 * (35 + 1) + 256 * (3 + 32) + 3 + 1 + 1) * loader; // secondary loader
    wire += 2 * ((1 + 3) + (2 + 1)) * loader + pages * (134 + 1) * loader;  // flash id, erase, pages
    // The sign-on is read by the first of the reads (every 300 ms after the
    // first two) that starts once the loader has sent it.
    const double signOn = std::chrono::duration<double>(timing.signOnDelay).count();
    double signOnRead = 0.0;
    for (double start = 0.1; start < signOn; start += 0.3)
        signOnRead = start + 0.3;
    const double pauses = 1.0 + 0.5 + 2 * 2.0 + signOnRead;
    const double deviceWork =
        pages * 128 * std::chrono::duration<double>(timing.byteProgramTime).count();
    std::printf("  wire time      %7.3f s\n  fixed pauses   %7.3f s (sign-on read at %.1f s)\n"
                "  device work    %7.3f s\n",
                wire, pauses, signOnRead, deviceWork);
    return wire + pauses + deviceWork;
}

} // namespace

void* operator new(std::size_t size)
{
    if (t_counting)
        ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// The command line's displays, watching as they do in kestrune-update.
class DisplayObserver : public LinkObserver {
public:
    DisplayObserver(UpdateReport& report, WireTrace& trace) : m_report(report), m_trace(trace) {}
    void OnStep(const StageProgress& progress) override { m_report.Step(progress); }
    void OnFrame(Direction direction, int mode, const char* exchange, const uint8_t* bytes, uint32_t count) override
    {
        m_trace.Frame(direction, mode, exchange, bytes, count);
    }

private:
    UpdateReport& m_report;
    WireTrace& m_trace;
};

struct Run {
    double seconds;
    uint64_t allocations;
    DeviceTiming timing;
};

// One whole update; nullopt when it failed.
std::optional<Run> TimedUpdate(bool paced, uint32_t latencyMs, LinkObserver* observer)
{
    SimulatedKestrune sim(SimulatedKestrune::Options{paced, true, latencyMs});
    if (!sim.Start())
        return std::nullopt;
    SetPortRoute(1, PortRoute{sim.DevicePath(), paced});
    CDeviceLink link;
    if (!link.Open(1))
        return std::nullopt;
    link.SetObserver(observer);
    g_allocations = 0;
    t_counting = true;
    const auto start = std::chrono::steady_clock::now();
    const int failed = RunUpdateStages(link);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t_counting = false;
    if (failed) {
        std::fprintf(stderr, "update_benchmark: stage %d failed: %s\n", failed, link.FailureDetail());
        return std::nullopt;
    }
    return Run{seconds, g_allocations.load(), sim.WithDevice([](KestruneDevice& device) { return device.Timing(); })};
}

} // namespace

int main(int argc, char** argv)
{
    const bool paced = !(argc > 1 && std::strcmp(argv[1], "--unpaced") == 0);
    const auto plain = TimedUpdate(paced, 0, nullptr);
    if (!plain)
        return 1;
    if (!paced) {
        std::printf("Update of the simulated Kestrune, bytes passed at once\n");
        std::printf("  measured       %7.3f s (the fixed pauses alone are 6.5 s)\n", plain->seconds);
    } else {
        std::printf("Update of the simulated Kestrune, paced at line speed\n");
        const double limit = ProtocolSeconds(plain->timing);
        std::printf("  protocol limit %7.3f s\n", limit);
        auto show = [&](const char* what, const std::optional<Run>& run) {
            if (run)
                std::printf("  %-44s %7.3f s  %.3f x the limit\n", what, run->seconds, run->seconds / limit);
        };
        show("measured", plain);
        show("with a 16 ms adapter latency timer (FTDI)", TimedUpdate(true, 16, nullptr));
        show("with a 1 ms latency timer (low latency)", TimedUpdate(true, 1, nullptr));
        // What kestrune-update adds: its progress display and a wire trace.
        std::FILE* sink = std::fopen("/dev/null", "w");
        std::FILE* traceFile = std::tmpfile();
        const ProgressPlan plan = ProgressPlan::ForCarriedImages();
        const auto report = MakeTerminalReport(sink, sink, false, plan);
        WireTrace trace(traceFile);
        DisplayObserver observer(*report, trace);
        show("with progress display and --trace to a file", TimedUpdate(true, 0, &observer));
        std::fclose(sink);
        std::fclose(traceFile);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("  heap allocations on the updater's thread during the update: %llu\n",
                static_cast<unsigned long long>(plain->allocations));
    std::printf("  peak resident memory of the process: %ld KiB\n", usage.ru_maxrss);
    return 0;
}
