#pragma once
// A TCP connection to a port server, as the network port needs it: a
// connect with a time limit, sends that go out whole, reads of what has
// already come, and a wait for input. One implementation per platform.

#include <cstdint>
#include <string>

class NetworkSocket {
public:
    NetworkSocket();
    ~NetworkSocket();
    NetworkSocket(const NetworkSocket&) = delete;
    NetworkSocket& operator=(const NetworkSocket&) = delete;

    // Tries each address of host in turn, within timeoutMs in all; false with
    // the cause in words ("connection refused", "unknown host", ...).
    bool Connect(const std::string& host, const std::string& port, uint32_t timeoutMs, std::string& cause);
    // False once the connection is gone.
    bool SendAll(const uint8_t* bytes, uint32_t count);
    // What has come, up to room bytes, without waiting: the count, 0 when
    // nothing has, -1 when the connection is closed or broken.
    int Receive(uint8_t* buffer, uint32_t room);
    // Returns when input has come (or the connection ended), or after timeoutUs.
    void WaitReadable(uint32_t timeoutUs);

private:
    intptr_t m_socket;
};
