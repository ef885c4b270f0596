#pragma once
// The priority of a thread that stands in for a device's end of a line.

// The device answers within the host's 100 ms allowance only if the thread
// that serves it runs when its time comes. Beside processes that keep every
// processor busy (a build, a test suite, `yes`), a thread of ordinary
// priority may wait its turn longer than that. So the calling thread asks
// for a real-time priority (SCHED_FIFO): it then runs as soon as it wakes,
// ahead of every ordinary process, and as it sleeps between bytes it takes
// little from them. Where the system does not allow that (no CAP_SYS_NICE
// nor RLIMIT_RTPRIO), a raised nice value at least gives it a larger share;
// failing that too, it runs as it is.
void RaiseServingPriority();

// Keeps the calling thread to one processor (index modulo their number),
// where the system allows.
void KeepToProcessor(unsigned index);
