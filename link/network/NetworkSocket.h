#pragma once
// A TCP connection to a port server, as the network port needs it: a
// connect with a time limit, sends that go out whole within one, reads of
// what has already come, and a wait for input. Every wait also ends once
// the stop check says so. One implementation per platform.

#include <cstdint>
#include <string>

// True once the program is to stop (a signal came); asked during every
// wait. Null: never.
using StopCheck = bool (*)();
inline bool StopAsked(StopCheck stop) { return stop && stop(); }

class NetworkSocket {
public:
    enum class Sent : uint8_t {
        All,
        Closed,  // the connection is gone
        NoRoom,  // the server took nothing more within the time limit
        Stopped, // the stop check said so first
    };
    // How often a wait asks the stop check.
    static constexpr uint32_t kStopCheckMs = 20;

    explicit NetworkSocket(StopCheck stopRequested);
    ~NetworkSocket();
    NetworkSocket(const NetworkSocket&) = delete;
    NetworkSocket& operator=(const NetworkSocket&) = delete;

    // Tries each address of host in turn, within timeoutMs in all; false with
    // the cause in words ("connection refused", "unknown host", "interrupted", ...).
    bool Connect(const std::string& host, const std::string& port, uint32_t timeoutMs, std::string& cause);
    // Sends count bytes, waiting for room in the connection at most timeoutMs
    // in all: a server that stops reading cannot hold the sender.
    Sent SendAll(const uint8_t* bytes, uint32_t count, uint32_t timeoutMs);
    // What has come, up to room bytes, without waiting: the count, 0 when
    // nothing has, -1 when the connection is closed or broken.
    int Receive(uint8_t* buffer, uint32_t room);
    // Returns when input has come (or the connection ended), after timeoutUs,
    // or once the stop check says so.
    void WaitReadable(uint32_t timeoutUs);

private:
    bool StopRequested() const { return StopAsked(m_pStopRequested); }

    intptr_t m_socket;
    StopCheck m_pStopRequested;
};
