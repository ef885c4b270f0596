#pragma once
// The host's turnarounds as the device's end of the line sees them: from the
// moment the host may go on to the first byte of its next frame. It may go on
// once the device's answer has wholly reached it and the pause it keeps after
// a frame (counted from the frame's last byte on the wire) is over; after a
// frame without an answer, once the pause is over. The times are the
// carrier's (when it wrote the answer's last byte, when it found the host's
// first), so each includes the pseudo-terminal's passage both ways.
//
// The frame after the sign-on is not recorded: the host picks the 'X' up
// with the next of its sign-on reads, which are spaced by its read allowance
// and fixed pauses that the line does not show, so the gap says nothing
// about its turnaround. The first frame after power-on has nothing before it.

#include "DeviceFaults.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <vector>

// What the updater waits after a frame of this exchange before it reads the
// answer or sends again; zero for most.
std::chrono::milliseconds HostPauseAfter(Exchange exchange);

struct TurnaroundSummary {
    size_t count = 0;
    std::chrono::microseconds median{};
    std::chrono::microseconds p99{};
    std::chrono::microseconds max{};
    std::chrono::microseconds total{}; // all of them together
};

class HostTurnarounds {
public:
    using Time = std::chrono::steady_clock::time_point;

    // A byte of the device's reached the host.
    void Delivered(Time at);
    // A byte of the host's began on the wire; the first after a whole frame
    // begins the next frame.
    void HostByte(Time start);
    // The device took a whole frame; its last byte arrived at `end`.
    void FrameTaken(Exchange exchange, Time end);

    void Clear() { *this = HostTurnarounds{}; }
    TurnaroundSummary Summary() const;

private:
    std::optional<Time> m_mayGoOn; // none: the next frame is not recorded
    bool m_bFrameOver = false;
    std::vector<std::chrono::microseconds> m_records;
};
