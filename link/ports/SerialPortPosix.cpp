// A terminal device under termios: a UART, a USB serial adapter, or the
// pseudo-terminal of the simulated Kestrune.

#include "LineTiming.h"
#include "PortHolders.h"
#include "SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#ifdef __linux__
#include <linux/serial.h>
#endif
#include <unistd.h>

namespace {

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

// Raw binary bytes: no line editing, translation, echo or signals, and
// nothing a previous program may have left (upper-case mapping, mark or
// space parity, hardware flow control).
void MakeRaw(termios& tio, const LineSettings& settings)
{
    tio.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | IGNPAR | IUCLC | IMAXBEL);
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
}

class PosixSerialPort : public SerialPort {
public:
    PosixSerialPort(int fd, const PortOptions& options) : m_fd(fd), m_bEmulateWireTime(options.bEmulateWireTime)
    {
        tcgetattr(fd, &m_original);
        AskForLowLatency();
    }

    ~PosixSerialPort() override
    {
        GiveBackSettings();
        ioctl(m_fd, TIOCNXCL);
        close(m_fd);
    }

    // Writes drain before they return, so only the input queue can hold
    // anything. (Flushing output on a pseudo-terminal would also drop bytes
    // the peer has not picked up yet.)
    void PurgeAll() override { tcflush(m_fd, TCIFLUSH); }

    bool ApplyLineSettings(const LineSettings& settings) override
    {
        const speed_t speed = SpeedConstant(settings.dwBaudRate);
        if (speed == B0 || settings.nDataBits != 8) {
            NoteFailure(PortFailure::Kind::SettingRefused, 0, "no terminal setting has that speed and size");
            return false;
        }
        termios tio{};
        tcgetattr(m_fd, &tio);
        MakeRaw(tio, settings);
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        if (tcsetattr(m_fd, TCSANOW, &tio) != 0) {
            NoteSystemFailure(PortFailure::Kind::SettingRefused, errno);
            return false;
        }
        // tcsetattr succeeds when any one setting took: read them back. Parity
        // is not among them, as a pseudo-terminal drops PARENB (it keeps
        // PARODD, which is how the simulated device tells odd parity).
        termios applied{};
        if (tcgetattr(m_fd, &applied) != 0) {
            NoteSystemFailure(PortFailure::Kind::SettingRefused, errno);
            return false;
        }
        if (cfgetospeed(&applied) != speed || (applied.c_cflag & CSIZE) != CS8) {
            NoteFailure(PortFailure::Kind::SettingRefused, 0, "the driver kept another speed or character size");
            return false;
        }
        // Both control lines held off; a pseudo-terminal has none.
        int lines = TIOCM_DTR | TIOCM_RTS;
        ioctl(m_fd, TIOCMBIC, &lines);
        m_timing.Set(settings);
        return true;
    }

    bool ClearErrors(uint32_t& waitingBytes) override
    {
        int waiting = 0;
        if (ioctl(m_fd, FIONREAD, &waiting) != 0) {
            NoteSystemFailure(PortFailure::Kind::TransferFailed, errno);
            return false;
        }
        waitingBytes = waiting > 0 ? static_cast<uint32_t>(waiting) : 0;
        return true;
    }

    bool ReadWaiting(IoRecord&, uint8_t* buffer, uint32_t n, uint32_t& moved) override
    {
        moved = 0;
        ssize_t got;
        while ((got = read(m_fd, buffer, n)) < 0 && errno == EINTR) {
        }
        if (got < 0) {
            NoteSystemFailure(PortFailure::Kind::TransferFailed, errno);
            return false;
        }
        moved = static_cast<uint32_t>(got);
        return true;
    }

    bool WriteAll(IoRecord&, const uint8_t* buffer, uint32_t count, uint32_t& moved) override
    {
        const auto start = LineTiming::Clock::now();
        moved = 0;
        while (moved < count) {
            const ssize_t put = write(m_fd, buffer + moved, count - moved);
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                NoteSystemFailure(PortFailure::Kind::TransferFailed, errno);
                return false;
            }
            moved += static_cast<uint32_t>(put);
        }
        int drained;
        while ((drained = tcdrain(m_fd)) != 0 && errno == EINTR) {
        }
        if (drained != 0) {
            NoteSystemFailure(PortFailure::Kind::TransferFailed, errno);
            return false;
        }
        if (m_bEmulateWireTime)
            m_timing.HoldUntilSent(count, start);
        return true;
    }

    void WaitForInput(uint32_t timeoutMs) override
    {
        // A signal ends the wait early (poll answers -1, EINTR): the caller's
        // loop simply asks again. Only a hang-up means the device is gone.
        pollfd pfd{m_fd, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(timeoutMs)) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
            NoteFailure(PortFailure::Kind::Lost, 0, kAdapterDisconnected);
    }

    bool LowLatencyRefused() const override { return m_bLowLatencyRefused; }

private:
    // USB adapters hold received bytes until their latency timer runs out
    // (16 ms on FTDI's by default), which would add that to every answer.
    // Where the driver offers it, ask for low latency; a pseudo-terminal
    // answers ENOTTY.
    void AskForLowLatency()
    {
#ifdef __linux__
        serial_struct serial{};
        if (ioctl(m_fd, TIOCGSERIAL, &serial) != 0)
            return;
        m_originalSerialFlags = serial.flags;
        serial.flags |= ASYNC_LOW_LATENCY;
        m_bLowLatencySet = ioctl(m_fd, TIOCSSERIAL, &serial) == 0;
        m_bLowLatencyRefused = !m_bLowLatencySet;
#endif
    }

    void GiveBackSettings()
    {
        tcsetattr(m_fd, TCSANOW, &m_original);
#ifdef __linux__
        serial_struct serial{};
        if (m_bLowLatencySet && ioctl(m_fd, TIOCGSERIAL, &serial) == 0) {
            serial.flags = m_originalSerialFlags;
            ioctl(m_fd, TIOCSSERIAL, &serial);
        }
#endif
    }

    // EIO, ENXIO and ENODEV are what a tty answers once its device is gone;
    // that keeps the words a person knows. Anything else is the system's.
    void NoteSystemFailure(PortFailure::Kind kind, int error)
    {
        if (error == EIO || error == ENXIO || error == ENODEV)
            NoteFailure(PortFailure::Kind::Lost, error, kAdapterDisconnected);
        else
            NoteFailure(kind, error);
    }

    int m_fd;
    bool m_bEmulateWireTime;
    LineTiming m_timing;
    termios m_original{};          // given back on close
    bool m_bLowLatencySet = false; // and the driver's flags with it
    int m_originalSerialFlags = 0;
    bool m_bLowLatencyRefused = false; // a serial driver that would not
};

// Another program on the port: the advisory lock keeps out other copies of
// this updater, TIOCEXCL later opens by other users; a program that had the
// device open before us (and root, whom TIOCEXCL does not stop) only a look
// at who holds it finds.
bool TakeForOurselves(int fd, const std::string& path, PortOpenFailure& failure)
{
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        failure.cause = PortOpenFailure::Cause::Held;
        failure.systemError = errno;
        failure.holders = OtherHoldersOf(path);
        return false;
    }
    failure.holders = OtherHoldersOf(path);
    // A hook this process is starting holds a copy of every descriptor until
    // its exec has closed them: a child of ours counts only if it keeps it.
    const auto childrenOnly = [&] {
        return std::all_of(failure.holders.begin(), failure.holders.end(),
                           [](const PortHolder& h) { return h.ourChild; });
    };
    for (int look = 0; look < 10 && !failure.holders.empty() && childrenOnly(); ++look) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        failure.holders = OtherHoldersOf(path);
    }
    if (!failure.holders.empty()) {
        failure.cause = PortOpenFailure::Cause::Held;
        return false;
    }
    return true;
}

} // namespace

std::unique_ptr<SerialPort> OpenLocalPort(const std::string& path, const PortOptions& options, PortOpenFailure& failure)
{
    // Non-blocking so that a line without carrier does not hold up open().
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure.cause = PortOpenFailure::Cause::System;
        failure.systemError = errno;
        return nullptr;
    }
    if (!isatty(fd)) {
        failure.cause = PortOpenFailure::Cause::NotATerminal;
        failure.systemError = ENOTTY;
        close(fd);
        return nullptr;
    }
    if (!TakeForOurselves(fd, path, failure)) {
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<PosixSerialPort>(fd, options);
}

std::string PortNameOf(uint8_t port) { return "/dev/ttyS" + std::to_string(port - 1); }

void SerialPort::Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint32_t SerialPort::TickCount() const
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
