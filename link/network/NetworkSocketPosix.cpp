#include "NetworkSocket.h"

#include "SystemMessage.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace {

// Why a name was not found, in words of our own: getaddrinfo's status is no
// error number, and the system's own texts for it differ by C library.
std::string LookupCause(int status)
{
    switch (status) {
    case EAI_NONAME: return "unknown host";
    case EAI_AGAIN: return "the name server did not answer; try again";
    case EAI_FAIL: return "the name server failed";
    case EAI_MEMORY: return "out of memory";
    case EAI_SYSTEM: return SystemMessage(errno);
    default: return "the name was not found (getaddrinfo status " + std::to_string(status) + ")";
    }
}

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for events on fd until they come, the deadline passes or stop says
// so, asking stop every kStopCheckMs; the events that came, or 0.
short WaitFor(int fd, short events, Clock::time_point deadline, StopCheck stop)
{
    for (int left; (left = Remaining(deadline)) > 0 && !StopAsked(stop);) {
        pollfd pfd{fd, events, 0};
        if (poll(&pfd, 1, std::min<int>(left, NetworkSocket::kStopCheckMs)) > 0)
            return pfd.revents;
    }
    return 0;
}

// One address: a non-blocking connect awaited until the deadline. The
// socket, or -1 with error telling why (EINTR: stop said so).
int ConnectTo(const addrinfo& address, Clock::time_point deadline, StopCheck stop, int& error)
{
    const int fd = socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address.ai_protocol);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    error = connect(fd, address.ai_addr, address.ai_addrlen) == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
        const bool ready = WaitFor(fd, POLLOUT, deadline, stop) != 0;
        error = ready ? 0 : StopAsked(stop) ? EINTR : ETIMEDOUT;
        socklen_t length = sizeof error;
        if (ready)
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    }
    if (error != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

NetworkSocket::NetworkSocket(StopCheck stopRequested) : m_socket(-1), m_pStopRequested(stopRequested) {}

NetworkSocket::~NetworkSocket()
{
    if (m_socket >= 0)
        close(static_cast<int>(m_socket));
}

bool NetworkSocket::Connect(const std::string& host, const std::string& port, uint32_t timeoutMs, std::string& cause)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    if (const int status = getaddrinfo(host.c_str(), port.c_str(), &hints, &addresses); status != 0) {
        cause = LookupCause(status);
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int error = ETIMEDOUT;
    int fd = -1;
    for (const addrinfo* address = addresses; address && fd < 0 && Remaining(deadline) > 0 && error != EINTR;
         address = address->ai_next)
        fd = ConnectTo(*address, deadline, m_pStopRequested, error);
    freeaddrinfo(addresses);
    if (fd < 0) {
        cause = error == ETIMEDOUT ? "no connection within " + std::to_string(timeoutMs / 1000) + " s"
                : error == EINTR   ? "interrupted while connecting"
                                   : SystemMessage(error);
        for (char& c : cause)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return false;
    }
    // Frames go out at once, not held for more (Nagle's algorithm).
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_socket = fd;
    return true;
}

NetworkSocket::Sent NetworkSocket::SendAll(const uint8_t* bytes, uint32_t count, uint32_t timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (uint32_t sent = 0; sent < count;) {
        const ssize_t put = send(static_cast<int>(m_socket), bytes + sent, count - sent, MSG_NOSIGNAL);
        if (put > 0) {
            sent += static_cast<uint32_t>(put);
        } else if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The socket is non-blocking: a full one is waited for here, within the limit.
            WaitFor(static_cast<int>(m_socket), POLLOUT, deadline, m_pStopRequested);
            if (StopRequested())
                return Sent::Stopped;
            if (Remaining(deadline) == 0)
                return Sent::NoRoom;
        } else if (!(put < 0 && errno == EINTR)) {
            return Sent::Closed;
        }
    }
    return Sent::All;
}

int NetworkSocket::Receive(uint8_t* buffer, uint32_t room)
{
    ssize_t got;
    while ((got = recv(static_cast<int>(m_socket), buffer, room, MSG_DONTWAIT)) < 0 && errno == EINTR) {
    }
    if (got < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    if (got == 0)
        return room == 0 ? 0 : -1; // the server closed the connection
#ifdef TCP_QUICKACK
    // Acknowledge at once: a server that holds small answers until their
    // acknowledgement (Nagle's algorithm) then sends them without delay.
    const int on = 1;
    setsockopt(static_cast<int>(m_socket), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#endif
    return static_cast<int>(got);
}

void NetworkSocket::WaitReadable(uint32_t timeoutUs)
{
    // A signal ends a slice early; the caller asks again.
    WaitFor(static_cast<int>(m_socket), POLLIN, Clock::now() + std::chrono::microseconds(timeoutUs), m_pStopRequested);
}
