// Times a whole update against the simulated Kestrune with every byte
// taking its wire time, and sets it beside what the protocol itself needs:
// the characters on the wire, the fixed pauses and the device's own work.
// Also counts heap allocations the updater's thread makes while updating.
//
// usage: update_benchmark [--unpaced]

#include "PortDevices.h"
#include "SimulatedKestrune.h"
#include "UpdateRun.h"

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

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

int main(int argc, char** argv)
{
    const bool paced = !(argc > 1 && std::strcmp(argv[1], "--unpaced") == 0);
    SimulatedKestrune sim(SimulatedKestrune::Options{paced, true});
    if (!sim.Start()) {
        std::fprintf(stderr, "update_benchmark: no pseudo-terminal\n");
        return 1;
    }
    SetPortRoute(1, PortRoute{sim.DevicePath(), paced});
    CDeviceLink link;
    if (!link.Open(1)) {
        std::fprintf(stderr, "update_benchmark: cannot open the simulated port\n");
        return 1;
    }
    const DeviceTiming timing = sim.WithDevice([](KestruneDevice& device) { return device.Timing(); });

    t_counting = true;
    const auto start = std::chrono::steady_clock::now();
    const int failed = RunUpdateStages(link);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t_counting = false;
    if (failed) {
        std::fprintf(stderr, "update_benchmark: stage %d failed\n", failed);
        return 1;
    }

    if (paced) {
        std::printf("Update of the simulated Kestrune, paced at line speed\n");
        const double limit = ProtocolSeconds(timing);
        std::printf("  protocol limit %7.3f s\n  measured       %7.3f s (%+.1f%% of the limit)\n",
                    limit, seconds, 100.0 * (seconds - limit) / limit);
    } else {
        std::printf("Update of the simulated Kestrune, bytes passed at once\n");
        std::printf("  measured       %7.3f s (the fixed pauses alone are 6.5 s)\n", seconds);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("  heap allocations on the updater's thread during the update: %llu\n",
                static_cast<unsigned long long>(g_allocations.load()));
    std::printf("  peak resident memory of the process: %ld KiB\n", usage.ru_maxrss);
    return 0;
}
