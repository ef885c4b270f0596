// The simulated device's terminal: made, powered, unplugged and closed, and
// the line settings the updater applied to it, read back.
#include "SimulatedKestrune.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

namespace {

// A carrier thread on each processor, up to this many. A virtual machine
// whose processor time runs out stops one processor at a time for about
// 100 ms, the device's whole allowance; a carrier on another processor then
// answers in its stead.
constexpr unsigned kMaxCarriers = 2;

// A pseudo-terminal keeps the speed and PARODD the updater set but always
// reports 8 data bits and clears PARENB, so odd parity shows as PARODD.
int16_t LineModeOf(const termios& tio)
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
    for (std::thread& carrier : m_carriers)
        carrier.join();
    for (int fd : {m_master, m_slave, m_hostInput})
        if (fd >= 0)
            close(fd);
    for (const WakePipe& wake : m_wakes)
        for (int fd : {wake.read, wake.write})
            close(fd);
}

bool SimulatedKestrune::Start()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return false;
    // ptsname_r: a bench starts its simulated units at once, on threads of
    // their own, and ptsname's one buffer would give one unit another's name.
    char name[64];
    if (ptsname_r(m_master, name, sizeof name) != 0)
        return false;
    m_devicePath = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        return false;
    // Carriers wait on an epoll set, not on the master: a wait on the master
    // holds it open, so that when one carrier drops the terminal (a pulled
    // adapter) the host would see no hang-up while another still waited,
    // as long as a stopped processor kept that one from waking.
    m_hostInput = epoll_create1(EPOLL_CLOEXEC);
    epoll_event input{};
    input.events = EPOLLIN;
    if (m_hostInput < 0 || epoll_ctl(m_hostInput, EPOLL_CTL_ADD, m_master, &input) != 0)
        return false;
    // Start the way a serial driver does: raw bytes at 9600 8N1.
    termios tio{};
    tcgetattr(m_slave, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(m_slave, TCSANOW, &tio);
    // Up to kMaxCarriers carrier threads, one on each processor, all serving
    // the one device; each has a pipe to be woken by.
    const unsigned processors = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxCarriers);
    for (unsigned processor = 0; processor < processors; ++processor) {
        int wake[2];
        if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
            return false;
        m_wakes.push_back(WakePipe{wake[0], wake[1]});
    }
    m_device.PowerOn(m_options.bStartInBootstrap, KestruneDevice::Clock::now());
    for (unsigned processor = 0; processor < processors; ++processor)
        m_carriers.emplace_back([this, processor] { Run(processor); });
    return true;
}

void SimulatedKestrune::PowerCycle(bool holdSet)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_master >= 0)
            tcflush(m_master, TCIOFLUSH);
        ClearWire();
        m_turnarounds.Clear();
        m_device.PowerOn(holdSet, KestruneDevice::Clock::now());
    }
    Wake();
}

TurnaroundSummary SimulatedKestrune::Turnarounds() const
{
    std::lock_guard lock(m_mutex);
    return m_turnarounds.Summary();
}

void SimulatedKestrune::ClearTurnarounds()
{
    std::lock_guard lock(m_mutex);
    m_turnarounds.Clear();
}

void SimulatedKestrune::PowerOff()
{
    std::lock_guard lock(m_mutex);
    ClearWire();
    m_device.PowerOff();
}

void SimulatedKestrune::ClearWire()
{
    // What was on its way is lost, and the line is free at once: an answer
    // the device had lined up (a sign-on a second ahead) holds nothing back.
    m_inbound.clear();
    m_outbound.clear();
    m_inboundFree = m_outboundFree = KestruneDevice::Time{};
}

void SimulatedKestrune::UnplugAdapter()
{
    std::lock_guard lock(m_mutex);
    DropTerminal();
}

void SimulatedKestrune::DropTerminal()
{
    // Both ends closed: the host's open port now reads EIO and polls POLLHUP.
    // Closing the master also takes it out of the carriers' epoll set.
    if (m_master < 0)
        return;
    for (int* fd : {&m_master, &m_slave})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    Wake();
}

int16_t SimulatedKestrune::HostLineMode() const
{
    termios tio{};
    if (m_slave < 0 || tcgetattr(m_slave, &tio) != 0)
        return kUnknownLine;
    return LineModeOf(tio);
}

KestruneDevice::Clock::duration SimulatedKestrune::CharacterTime() const
{
    termios tio{};
    tcgetattr(m_slave, &tio);
    const speed_t speed = cfgetospeed(&tio);
    const int64_t baud = speed == B38400 ? 38400 : speed == B19200 ? 19200 : 9600;
    const int64_t bits = 1 + 8 + ((tio.c_cflag & PARODD) ? 1 : 0) + ((tio.c_cflag & CSTOPB) ? 2 : 1);
    return std::chrono::duration_cast<KestruneDevice::Clock::duration>(
        std::chrono::nanoseconds(bits * 1000000000 / baud));
}
