#include "NetworkSocket.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// One address: a non-blocking connect awaited until the deadline. The
// socket, or -1 with error telling why.
int ConnectTo(const addrinfo& address, Clock::time_point deadline, int& error)
{
    const int fd = socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address.ai_protocol);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    error = connect(fd, address.ai_addr, address.ai_addrlen) == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
        pollfd pfd{fd, POLLOUT, 0};
        int ready;
        while ((ready = poll(&pfd, 1, Remaining(deadline))) < 0 && errno == EINTR) {
        }
        error = ETIMEDOUT;
        socklen_t length = sizeof error;
        if (ready > 0)
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    }
    if (error != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

NetworkSocket::NetworkSocket() : m_socket(-1) {}

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
        cause = status == EAI_NONAME ? "unknown host" : gai_strerror(status);
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int error = ETIMEDOUT;
    int fd = -1;
    for (const addrinfo* address = addresses; address && fd < 0 && Remaining(deadline) > 0; address = address->ai_next)
        fd = ConnectTo(*address, deadline, error);
    freeaddrinfo(addresses);
    if (fd < 0) {
        cause = error == ETIMEDOUT ? "no connection within " + std::to_string(timeoutMs / 1000) + " s"
                                   : std::string(std::strerror(error));
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

bool NetworkSocket::SendAll(const uint8_t* bytes, uint32_t count)
{
    for (uint32_t sent = 0; sent < count;) {
        const ssize_t put = send(static_cast<int>(m_socket), bytes + sent, count - sent, MSG_NOSIGNAL);
        if (put < 0 && errno == EAGAIN) {
            pollfd pfd{static_cast<int>(m_socket), POLLOUT, 0};
            poll(&pfd, 1, 100);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        sent += static_cast<uint32_t>(put);
    }
    return true;
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
    pollfd pfd{static_cast<int>(m_socket), POLLIN, 0};
    const timespec timeout{static_cast<time_t>(timeoutUs / 1000000), static_cast<long>(timeoutUs % 1000000) * 1000};
    ppoll(&pfd, 1, &timeout, nullptr); // a signal ends it early; the caller asks again
}
