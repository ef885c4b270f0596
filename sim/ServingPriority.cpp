#include "ServingPriority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

namespace {

// Low among the real-time priorities: below the kernel's own threads
// (interrupts run at 50), above every ordinary process.
constexpr int kServingRealTimePriority = 10;
constexpr int kServingNice = -10;

} // namespace

void RaiseServingPriority()
{
    const sched_param param{kServingRealTimePriority};
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0)
        return;
#ifdef __linux__
    // On Linux the nice value is the thread's: this one alone is raised.
    (void)setpriority(PRIO_PROCESS, 0, kServingNice);
#endif
}

void KeepToProcessor(unsigned index)
{
#ifdef __linux__
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0 || CPU_COUNT(&allowed) == 0)
        return;
    unsigned skip = index % static_cast<unsigned>(CPU_COUNT(&allowed));
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &allowed) || skip-- != 0)
            continue;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        (void)pthread_setaffinity_np(pthread_self(), sizeof one, &one);
        return;
    }
#else
    (void)index;
#endif
}
