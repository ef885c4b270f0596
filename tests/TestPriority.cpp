// Every test program plays the host, whose own timing counts as well: a
// read's 100 ms allowance starts when the host gets to it, the sign-on's
// attempts follow one another by the clock, and a signal must be acted on
// promptly. Beside processes that keep both processors busy, a raised nice
// value (taken before main, so every thread the tests start inherits it)
// gives the host the larger share; the device's end runs real-time (see
// ServingPriority.h). Where the system refuses, the tests run as they are.

#include <sys/resource.h>

namespace {

constexpr int kHostNice = -10;

const bool g_raised = setpriority(PRIO_PROCESS, 0, kHostNice) == 0;

} // namespace
