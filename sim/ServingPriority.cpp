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
