// The carrier thread: moves bytes between the terminal and the device model,
// at the line's pace when asked, and records the host's turnarounds.
#include "SimulatedKestrune.h"

#include "ServingPriority.h"

#include <poll.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <unistd.h>

#include <algorithm>

namespace {

constexpr uint8_t kWireGarble = 0x5A;

// A host byte with more behind it may wait this long before the device takes
// it (at its own time), so that bytes are taken a few at a time. Answers come
// at the end of what the host sent, but for the bootstrap ROM's echo, which
// leaves a character time (1.04 ms) after its byte and so stays on time.
constexpr std::chrono::microseconds kInboundBatch(750);
// The wait for the last byte of an answer ends this much early and spins the
// rest: a thread woken by a timer runs some tens of microseconds late (more on
// a virtual machine), and the host waits for that byte.
constexpr std::chrono::microseconds kFinalSpin(50);

} // namespace

void SimulatedKestrune::Wake()
{
    const char byte = 0;
    for (const WakePipe& wake : m_wakes)
        (void)!write(wake.write, &byte, 1);
}

void SimulatedKestrune::CarryInbound(KestruneDevice::Time now)
{
    uint8_t chunk[512];
    for (;;) {
        const ssize_t got = read(m_master, chunk, sizeof chunk);
        if (got <= 0)
            break;
        const int16_t mode = HostLineMode();
        const auto charTime = CharacterTime();
        for (ssize_t i = 0; i < got; ++i) {
            KestruneDevice::Time start = now;
            KestruneDevice::Time at = now;
            if (m_options.bPaced) {
                // The byte is in the device once its last bit is.
                start = std::max(now, m_inboundFree);
                at = start + charTime;
                m_inboundFree = at;
            }
            m_inbound.push_back(Pending{chunk[i], start, at, mode});
        }
    }
    while (!m_inbound.empty() && m_inbound.front().at <= now) {
        const Pending& next = m_inbound.front();
        m_turnarounds.HostByte(next.start);
        m_device.Receive(next.byte, next.lineMode, next.at);
        if (const auto frame = m_device.TakeHostFrame())
            m_turnarounds.FrameTaken(frame->exchange, frame->end);
        m_inbound.pop_front();
    }
    m_device.Tick(now);
}

void SimulatedKestrune::CarryOutbound(KestruneDevice::Time now)
{
    KestruneDevice::Emission emission{};
    while (m_device.TakeEmission(emission)) {
        KestruneDevice::Time at = emission.ready;
        if (m_options.bPaced) {
            at = std::max(at, m_outboundFree) + CharacterTime();
            m_outboundFree = at;
        }
        if (m_options.latencyMs) {
            // Held in the adapter until its timer's next tick.
            const auto tick = std::chrono::duration_cast<KestruneDevice::Clock::duration>(
                std::chrono::milliseconds(m_options.latencyMs));
            at =
                KestruneDevice::Time((at.time_since_epoch() + tick - KestruneDevice::Clock::duration(1)) / tick * tick);
        }
        m_outbound.push_back(Pending{emission.byte, at, at, emission.lineMode});
    }
    m_bOutputRefused = false;
    while (!m_outbound.empty() && m_outbound.front().at <= now) {
        const Pending& next = m_outbound.front();
        // Sent at other line settings than the host's, the byte arrives garbled.
        const uint8_t byte = next.lineMode == HostLineMode() ? next.byte : next.byte ^ kWireGarble;
        // Timed before the write: the host, woken by it, may run ahead of this thread.
        const auto delivered = KestruneDevice::Clock::now();
        if (write(m_master, &byte, 1) != 1) {
            m_bOutputRefused = true; // the host's input queue is full: try again later
            break;
        }
        m_turnarounds.Delivered(delivered);
        m_outbound.pop_front();
    }
}

KestruneDevice::Time SimulatedKestrune::NextWake(KestruneDevice::Time now) const
{
    if (m_bOutputRefused)
        return now + std::chrono::milliseconds(1);
    KestruneDevice::Time wake = now + std::chrono::milliseconds(50);
    if (!m_inbound.empty())
        wake = std::min({wake, m_inbound.back().at, m_inbound.front().at + kInboundBatch});
    if (!m_outbound.empty())
        wake = std::min(wake, m_outbound.front().at);
    if (auto deadline = m_device.NextDeadline())
        wake = std::min(wake, *deadline);
    return wake;
}

void SimulatedKestrune::Run(unsigned processor)
{
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL); // this thread's timed waits end on time, not up to 50 us late
#endif
    RaiseServingPriority();
    if (m_wakes.size() > 1) // a lone carrier goes wherever a processor is free
        KeepToProcessor(processor);
    for (;;) {
        KestruneDevice::Time wake;
        bool replyEnds = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_bStop)
                return;
            if (m_device.AdapterGone())
                DropTerminal();
            const auto now = KestruneDevice::Clock::now();
            if (m_master >= 0) {
                CarryInbound(now);
                CarryOutbound(now);
            }
            wake = NextWake(now);
            replyEnds = m_outbound.size() == 1 && m_outbound.front().at == wake;
        }
        WaitUntil(wake, replyEnds ? kFinalSpin : KestruneDevice::Clock::duration::zero(), m_wakes[processor].read);
    }
}

void SimulatedKestrune::WaitUntil(KestruneDevice::Time wake, KestruneDevice::Clock::duration spin, int wakeRead)
{
    const auto left = std::max(wake - spin - KestruneDevice::Clock::now(), KestruneDevice::Clock::duration::zero());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    const timespec timeout{static_cast<time_t>(seconds.count()),
                           static_cast<long>(std::chrono::nanoseconds(left - seconds).count())};
    // m_hostInput is set before the carriers start and closed after they end.
    // Once the terminal is dropped its epoll set is empty and never ready.
    pollfd fds[2] = {{m_hostInput, POLLIN, 0}, {wakeRead, POLLIN, 0}};
    // Timed out: spin what is left. Whatever woke us, a byte is passed on
    // only once its time has come; the caller looks again.
    if (ppoll(fds, 2, &timeout, nullptr) == 0)
        while (KestruneDevice::Clock::now() < wake) {
        }
    if (fds[1].revents & POLLIN) {
        char drain[64];
        while (read(wakeRead, drain, sizeof drain) > 0) {
        }
    }
}
