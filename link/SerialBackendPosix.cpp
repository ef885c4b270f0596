// termios implementation of the serial primitives.

#include "PortDevices.h"
#include "PortHolders.h"
#include "SerialBackend.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#ifdef __linux__
#include <linux/serial.h>
#endif
#include <unistd.h>

namespace {

struct OpenPortState {
    bool bEmulateWireTime = false;
    uint32_t bitsPerCharacter = 10;
    uint32_t dwBaudRate = 0;
    bool bLost = false;
    termios original{};             // given back on close
    bool bLowLatencySet = false;    // and the driver's flags with it
    int originalSerialFlags = 0;
};

// USB adapters hold received bytes until their latency timer runs out (16 ms
// on FTDI's by default), which would add that to every answer. Where the
// driver offers it, ask for low latency; a pseudo-terminal answers ENOTTY.
void AskForLowLatency(int fd, OpenPortState& state)
{
#ifdef __linux__
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return;
    state.originalSerialFlags = serial.flags;
    serial.flags |= ASYNC_LOW_LATENCY;
    state.bLowLatencySet = ioctl(fd, TIOCSSERIAL, &serial) == 0;
#else
    (void)fd;
    (void)state;
#endif
}

void GiveBackSettings(int fd, const OpenPortState& state)
{
    tcsetattr(fd, TCSANOW, &state.original);
#ifdef __linux__
    serial_struct serial{};
    if (state.bLowLatencySet && ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags = state.originalSerialFlags;
        ioctl(fd, TIOCSSERIAL, &serial);
    }
#endif
}

std::mutex g_mapMutex;
std::map<int, OpenPortState> g_openPorts;

speed_t SpeedConstant(uint32_t baud)
{
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

OpenPortState* StateOf(int fd)
{
    auto it = g_openPorts.find(fd);
    return it == g_openPorts.end() ? nullptr : &it->second;
}

void MarkLost(int fd)
{
    std::lock_guard lock(g_mapMutex);
    if (OpenPortState* state = StateOf(fd))
        state->bLost = true;
}

// EIO, ENXIO and ENODEV are what a tty answers once its device is gone.
void NoteFailure(int fd, int error)
{
    if (error == EIO || error == ENXIO || error == ENODEV)
        MarkLost(fd);
}

void WaitForWire(int fd, uint32_t count)
{
    uint32_t micros = 0;
    {
        std::lock_guard lock(g_mapMutex);
        const OpenPortState* state = StateOf(fd);
        if (!state || !state->bEmulateWireTime || state->dwBaudRate == 0)
            return;
        micros = static_cast<uint32_t>(uint64_t{count} * state->bitsPerCharacter * 1000000u /
                                       state->dwBaudRate);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

} // namespace

namespace SerialBackend {

PortHandle InvalidPort() { return -1; }

bool CreateCompletionEvent(IoRecord& record)
{
    record.bEventCreated = true;
    return true;
}

void ReleaseCompletionEvent(IoRecord& record) { record.bEventCreated = false; }

PortHandle OpenPort(uint8_t port)
{
    if (port == 0)
        return -1;
    const PortRoute route = PortRouteFor(port);
    // Non-blocking so that a line without carrier does not hold up open().
    const int fd = open(route.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    // No sharing: the advisory lock keeps out other copies of this updater,
    // TIOCEXCL later opens by other users; a program that had the device
    // open before us (and root, whom TIOCEXCL does not stop) only a look at
    // who holds it finds.
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0 ||
        !OtherHoldersOf(route.path).empty()) {
        close(fd);
        return -1;
    }
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    OpenPortState state{route.bEmulateWireTime, 10, 0};
    tcgetattr(fd, &state.original);
    AskForLowLatency(fd, state);
    std::lock_guard lock(g_mapMutex);
    g_openPorts[fd] = state;
    return fd;
}

void ClosePort(PortHandle port)
{
    if (port < 0)
        return;
    {
        std::lock_guard lock(g_mapMutex);
        if (const OpenPortState* state = StateOf(port))
            GiveBackSettings(port, *state);
        g_openPorts.erase(port);
    }
    ioctl(port, TIOCNXCL);
    close(port);
}

void SetReceiveEventMask(PortHandle, bool) {}

void SetupQueues(PortHandle, uint32_t) {}

// Writes drain before they return, so only the input queue can hold
// anything. (Flushing output on a pseudo-terminal would also drop bytes
// the peer has not picked up yet.)
void PurgeAll(PortHandle port) { tcflush(port, TCIFLUSH); }

bool ApplyLineSettings(PortHandle port, const LineSettings& settings)
{
    termios tio{};
    if (port < 0)
        return false;
    tcgetattr(port, &tio);
    const speed_t speed = SpeedConstant(settings.dwBaudRate);
    if (speed == B0 || settings.nDataBits != 8)
        return false;
    // Raw binary bytes: no line editing, translation, echo or signals, and
    // nothing a previous program may have left (upper-case mapping, mark or
    // space parity, hardware flow control).
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                     IXANY | IGNPAR | IUCLC | IMAXBEL);
    tio.c_iflag |= INPCK; // parity checking on in every mode
    tio.c_oflag &= ~(OPOST | OLCUC);
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
#ifdef XCASE
    tio.c_lflag &= ~XCASE;
#endif
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
#ifdef CMSPAR
    tio.c_cflag &= ~CMSPAR;
#endif
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    if (settings.nParity == 1)
        tio.c_cflag |= PARENB | PARODD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(port, TCSANOW, &tio) != 0)
        return false;
    // tcsetattr succeeds when any one setting took: read them back. Parity is
    // not among them, as a pseudo-terminal drops PARENB (it keeps PARODD,
    // which is how the simulated device tells odd parity).
    termios applied{};
    if (tcgetattr(port, &applied) != 0 || cfgetospeed(&applied) != speed || (applied.c_cflag & CSIZE) != CS8)
        return false;
    // Both control lines held off; a pseudo-terminal has none.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(port, TIOCMBIC, &lines);

    std::lock_guard lock(g_mapMutex);
    if (OpenPortState* state = StateOf(port)) {
        state->dwBaudRate = settings.dwBaudRate;
        state->bitsPerCharacter = BitsPerCharacter(settings);
    }
    return true;
}

bool ClearErrors(PortHandle port, uint32_t& waitingBytes)
{
    int waiting = 0;
    if (port < 0)
        return false;
    if (ioctl(port, FIONREAD, &waiting) != 0) {
        NoteFailure(port, errno);
        return false;
    }
    waitingBytes = waiting > 0 ? static_cast<uint32_t>(waiting) : 0;
    return true;
}

bool ReadWaiting(PortHandle port, IoRecord&, uint8_t* buffer, uint32_t n, uint32_t& moved)
{
    moved = 0;
    ssize_t got;
    while ((got = read(port, buffer, n)) < 0 && errno == EINTR) {
    }
    if (got < 0) {
        NoteFailure(port, errno);
        return false;
    }
    moved = static_cast<uint32_t>(got);
    return moved == n;
}

bool WriteAll(PortHandle port, IoRecord&, const uint8_t* buffer, uint32_t count, uint32_t& moved)
{
    moved = 0;
    while (moved < count) {
        const ssize_t put = write(port, buffer + moved, count - moved);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            NoteFailure(port, errno);
            return false;
        }
        moved += static_cast<uint32_t>(put);
    }
    int drained;
    while ((drained = tcdrain(port)) != 0 && errno == EINTR) {
    }
    if (drained != 0) {
        NoteFailure(port, errno);
        return false;
    }
    WaitForWire(port, count);
    return true;
}

void WaitForInput(PortHandle port, uint32_t timeoutMs)
{
    // A signal ends the wait early; the caller's loop simply asks again.
    pollfd pfd{port, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(timeoutMs)) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
        MarkLost(port);
}

bool PortLost(PortHandle port)
{
    std::lock_guard lock(g_mapMutex);
    const OpenPortState* state = StateOf(port);
    return state && state->bLost;
}

uint32_t TickCount()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace SerialBackend
