// Every test program plays the host, whose own timing counts as well: a
// read's 100 ms allowance starts when the host gets to it, the sign-on's
// attempts follow one another by the clock, and a signal must be acted on
// promptly. So the host runs real-time too (taken before main, so every
// thread the tests start, and every hook they run, inherits it), one step
// below the device's end (see ServingPriority.h), and round-robin, so that
// host threads of one priority take turns.
//
// The bytes of a pseudo-terminal are passed on by the kernel's own worker
// threads, at an ordinary priority. Where the kernel groups each session's
// processes (autogroup, on by default), a host of ordinary priority that
// wakes and sleeps thousands of times a second keeps changing its group's
// weight; beside `yes` loops a worker then waited 250 ms for a processor
// while the device's answer was due, and a bench of eight failed more than
// half its runs. A real-time host is outside that reckoning: the same bench
// beside the same loops then failed once in twenty runs.
//
// Where real-time is refused (no CAP_SYS_NICE nor RLIMIT_RTPRIO), a raised
// nice value gives the host the larger share at least; failing that too,
// the tests run as they are.

#include <sched.h>
#include <sys/resource.h>

namespace {

constexpr int kHostRealTimePriority = 5;
constexpr int kHostNice = -10;

bool RaiseHostPriority()
{
    const sched_param param{kHostRealTimePriority};
    if (sched_setscheduler(0, SCHED_RR, &param) == 0)
        return true;
    return setpriority(PRIO_PROCESS, 0, kHostNice) == 0;
}

const bool g_raised = RaiseHostPriority();

} // namespace
