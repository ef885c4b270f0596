#include "NetworkSocket.h"
#include "SystemMessage.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

SOCKET Handle(intptr_t socket) { return static_cast<SOCKET>(socket); }

// The system's words for a Winsock error, to stand inside a sentence.
std::string SocketMessage(int error)
{
    if (error == WSAETIMEDOUT)
        return "no connection in time";
    std::string message = SystemMessage(error);
    if (!message.empty() && message.back() == '.')
        message.pop_back(); // it goes into a sentence of ours
    return message;
}

// Waits until s is writable (or, with readable, has input), the deadline
// passes or stop says so, asking stop every kStopCheckMs; whether it came.
// A failed connect counts as writable: its error is then in SO_ERROR.
bool WaitFor(SOCKET s, bool readable, Clock::time_point deadline, StopCheck stop)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (left <= 0 || StopAsked(stop))
            return false;
        const long slice = static_cast<long>(std::min<long long>(left, NetworkSocket::kStopCheckMs * 1000));
        fd_set ready, failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(s, &ready);
        FD_SET(s, &failed);
        timeval timeout{slice / 1000000, slice % 1000000};
        if (select(0, readable ? &ready : nullptr, readable ? nullptr : &ready, readable ? nullptr : &failed,
                   &timeout) > 0)
            return true;
    }
}

// One address: a non-blocking connect awaited until the deadline.
// WSAEINTR: stop said so first.
SOCKET ConnectTo(const addrinfo& address, Clock::time_point deadline, StopCheck stop, int& error)
{
    SOCKET s = socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (s == INVALID_SOCKET) {
        error = WSAGetLastError();
        return INVALID_SOCKET;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    error = connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0 ? 0 : WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
        const bool ready = WaitFor(s, false, deadline, stop);
        error = ready ? 0 : StopAsked(stop) ? WSAEINTR : WSAETIMEDOUT;
        int length = sizeof error;
        if (ready)
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    }
    if (error != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

} // namespace

// Winsock counts its users: each socket object is one.
NetworkSocket::NetworkSocket(StopCheck stopRequested)
    : m_socket(static_cast<intptr_t>(INVALID_SOCKET)), m_pStopRequested(stopRequested)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

NetworkSocket::~NetworkSocket()
{
    if (Handle(m_socket) != INVALID_SOCKET)
        closesocket(Handle(m_socket));
    WSACleanup();
}

bool NetworkSocket::Connect(const std::string& host, const std::string& port, uint32_t timeoutMs, std::string& cause)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* addresses = nullptr;
    if (const int status = getaddrinfo(host.c_str(), port.c_str(), &hints, &addresses); status != 0) {
        cause = status == WSAHOST_NOT_FOUND || status == WSANO_DATA ? "unknown host" : SocketMessage(status);
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int error = WSAETIMEDOUT;
    SOCKET s = INVALID_SOCKET;
    for (const addrinfo* address = addresses;
         address && s == INVALID_SOCKET && Clock::now() < deadline && error != WSAEINTR; address = address->ai_next)
        s = ConnectTo(*address, deadline, m_pStopRequested, error);
    freeaddrinfo(addresses);
    if (s == INVALID_SOCKET) {
        cause = error == WSAEINTR ? "interrupted while connecting" : SocketMessage(error);
        return false;
    }
    // Frames go out at once, not held for more (Nagle's algorithm).
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    m_socket = static_cast<intptr_t>(s);
    return true;
}

NetworkSocket::Sent NetworkSocket::SendAll(const uint8_t* bytes, uint32_t count, uint32_t timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (uint32_t sent = 0; sent < count;) {
        const int put =
            send(Handle(m_socket), reinterpret_cast<const char*>(bytes + sent), static_cast<int>(count - sent), 0);
        if (put > 0) {
            sent += static_cast<uint32_t>(put);
            continue;
        }
        if (put == 0 || WSAGetLastError() != WSAEWOULDBLOCK)
            return Sent::Closed;
        // The socket is non-blocking: a full one is waited for here, within the limit.
        if (!WaitFor(Handle(m_socket), false, deadline, m_pStopRequested))
            return StopRequested() ? Sent::Stopped : Sent::NoRoom;
    }
    return Sent::All;
}

int NetworkSocket::Receive(uint8_t* buffer, uint32_t room)
{
    const int got = recv(Handle(m_socket), reinterpret_cast<char*>(buffer), static_cast<int>(room), 0);
    if (got == SOCKET_ERROR)
        return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
    return got == 0 && room > 0 ? -1 : got; // 0: the server closed the connection
}

void NetworkSocket::WaitReadable(uint32_t timeoutUs)
{
    WaitFor(Handle(m_socket), true, Clock::now() + std::chrono::microseconds(timeoutUs), m_pStopRequested);
}
