#include "SimulatedKestrune.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

namespace {

constexpr uint8_t kWireGarble = 0x5A;

// A pseudo-terminal keeps the speed and PARODD the updater set but always
// reports 8 data bits and clears PARENB, so odd parity shows as PARODD.
int8_t LineModeOf(const termios& tio)
{
    if (tio.c_cflag & CSTOPB)
        return kUnknownLine;
    const speed_t speed = cfgetospeed(&tio);
    const bool parity = tio.c_cflag & PARODD;
    if (speed == B38400 && parity)
        return kRunLine;
    if (speed == B9600 && !parity)
        return kBootstrapLine;
    if (speed == B38400 && !parity)
        return kLoaderLine;
    return kUnknownLine;
}

} // namespace

SimulatedKestrune::SimulatedKestrune(Options options) : m_options(options) {}

SimulatedKestrune::~SimulatedKestrune()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    Wake();
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : {m_master, m_slave, m_wakeRead, m_wakeWrite})
        if (fd >= 0)
            close(fd);
}

bool SimulatedKestrune::Start()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return false;
    const char* name = ptsname(m_master);
    if (!name)
        return false;
    m_devicePath = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        return false;
    // Start the way a serial driver does: raw bytes at 9600 8N1.
    termios tio{};
    tcgetattr(m_slave, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(m_slave, TCSANOW, &tio);
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];
    m_device.PowerOn(m_options.bStartInBootstrap, KestruneDevice::Clock::now());
    m_thread = std::thread([this] { Run(); });
    return true;
}

void SimulatedKestrune::PowerCycle(bool holdSet)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_master >= 0)
            tcflush(m_master, TCIOFLUSH);
        m_inbound.clear();
        m_outbound.clear();
        m_device.PowerOn(holdSet, KestruneDevice::Clock::now());
    }
    Wake();
}

void SimulatedKestrune::PowerOff()
{
    std::lock_guard lock(m_mutex);
    m_inbound.clear();
    m_outbound.clear();
    m_device.PowerOff();
}

void SimulatedKestrune::UnplugAdapter()
{
    std::lock_guard lock(m_mutex);
    DropTerminal();
}

void SimulatedKestrune::DropTerminal()
{
    // Both ends closed: the host's open port now reads EIO and polls POLLHUP.
    for (int* fd : {&m_master, &m_slave})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
}

int8_t SimulatedKestrune::HostLineMode() const
{
    termios tio{};
    if (m_slave < 0 || tcgetattr(m_slave, &tio) != 0)
        return kUnknownLine;
    return LineModeOf(tio);
}

std::chrono::microseconds SimulatedKestrune::CharacterTime() const
{
    termios tio{};
    tcgetattr(m_slave, &tio);
    const speed_t speed = cfgetospeed(&tio);
    const int baud = speed == B38400 ? 38400 : speed == B19200 ? 19200 : 9600;
    const int bits = 1 + 8 + ((tio.c_cflag & PARODD) ? 1 : 0) + ((tio.c_cflag & CSTOPB) ? 2 : 1);
    return std::chrono::microseconds(bits * 1000000 / baud);
}

void SimulatedKestrune::Wake()
{
    const char byte = 0;
    if (m_wakeWrite >= 0)
        (void)!write(m_wakeWrite, &byte, 1);
}

void SimulatedKestrune::CarryInbound(KestruneDevice::Time now)
{
    uint8_t chunk[512];
    for (;;) {
        const ssize_t got = read(m_master, chunk, sizeof chunk);
        if (got <= 0)
            break;
        const int8_t mode = HostLineMode();
        const auto charTime = CharacterTime();
        for (ssize_t i = 0; i < got; ++i) {
            KestruneDevice::Time at = now;
            if (m_options.bPaced) {
                // The byte is in the device once its last bit is.
                at = std::max(now, m_inboundFree) + charTime;
                m_inboundFree = at;
            }
            m_inbound.push_back(Pending{chunk[i], at, mode});
        }
    }
    while (!m_inbound.empty() && m_inbound.front().at <= now) {
        const Pending& next = m_inbound.front();
        m_device.Receive(next.byte, next.lineMode, next.at);
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
            const std::chrono::microseconds tick(m_options.latencyMs * 1000);
            const auto since = std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch());
            at = KestruneDevice::Time(((since + tick - std::chrono::microseconds(1)) / tick) * tick);
        }
        m_outbound.push_back(Pending{emission.byte, at, emission.lineMode});
    }
    while (!m_outbound.empty() && m_outbound.front().at <= now) {
        const Pending& next = m_outbound.front();
        // Sent at other line settings than the host's, the byte arrives garbled.
        const uint8_t byte = next.lineMode == HostLineMode() ? next.byte : next.byte ^ kWireGarble;
        if (write(m_master, &byte, 1) != 1)
            break; // the host's input queue is full: try again later
        m_outbound.pop_front();
    }
}

KestruneDevice::Time SimulatedKestrune::NextWake(KestruneDevice::Time now) const
{
    KestruneDevice::Time wake = now + std::chrono::milliseconds(50);
    if (!m_inbound.empty())
        wake = std::min(wake, m_inbound.front().at);
    if (!m_outbound.empty())
        wake = std::min(wake, m_outbound.front().at);
    if (auto deadline = m_device.NextDeadline())
        wake = std::min(wake, *deadline);
    return wake;
}

void SimulatedKestrune::Run()
{
    for (;;) {
        int timeoutMs = 0;
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
            const auto wait = NextWake(now) - KestruneDevice::Clock::now();
            const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(wait).count();
            // At least a millisecond: what is still due is a write the host's full
            // input queue refused.
            timeoutMs = micros <= 1000 ? 1 : static_cast<int>((micros + 999) / 1000);
        }
        pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wakeRead, POLLIN, 0}}; // a negative fd is passed over
        poll(fds, 2, timeoutMs);
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (read(m_wakeRead, drain, sizeof drain) > 0) {
            }
        }
    }
}
