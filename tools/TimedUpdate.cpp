// A timed update, and the heap allocations counted while it runs: this
// program's operator new counts those of the thread that is updating.

#include "TimedUpdate.h"

#include "Ser2netServer.h"
#include "SimulatedKestrune.h"
#include "UpdateRun.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

thread_local bool t_counting = false;
std::atomic<uint64_t> g_allocations{0};

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

// Processor time a hypervisor gave elsewhere while this machine's processors
// had work, summed over them; 0 where it is not counted.
double StolenSeconds()
{
    unsigned long long user, nice, system, idle, iowait, irq, softirq, steal = 0;
    if (std::FILE* stat = std::fopen("/proc/stat", "r")) {
        if (std::fscanf(stat, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &user, &nice, &system, &idle, &iowait,
                        &irq, &softirq, &steal) != 8)
            steal = 0;
        std::fclose(stat);
    }
    return static_cast<double>(steal) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace

std::optional<TimedRun> TimedUpdate(bool paced, uint32_t latencyMs, LinkObserver* observer, const char* ser2netOptions)
{
    SimulatedKestrune sim(SimulatedKestrune::Options{paced, true, latencyMs});
    if (!sim.Start())
        return std::nullopt;
    std::optional<Ser2netServer> server;
    if (ser2netOptions && !server.emplace(sim.DevicePath(), ser2netOptions).Ready())
        return std::fprintf(stderr, "update_benchmark: ser2net did not start\n"), std::nullopt;
    CDeviceLink link;
    if (!(server ? link.Open(server->Url()) : link.Open(sim.DevicePath(), PortOptions{paced})))
        return std::nullopt;
    link.SetObserver(observer);
    g_allocations = 0;
    t_counting = true;
    const double stolenBefore = StolenSeconds();
    const auto start = std::chrono::steady_clock::now();
    const int failed = RunUpdateStages(link);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t_counting = false;
    if (failed) {
        std::fprintf(stderr, "update_benchmark: stage %d failed: %s\n", failed, link.FailureDetail());
        return std::nullopt;
    }
    return TimedRun{seconds, g_allocations.load(),
                    sim.WithDevice([](KestruneDevice& device) { return device.Timing(); }), sim.Turnarounds(),
                    StolenSeconds() - stolenBefore};
}
