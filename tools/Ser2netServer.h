#pragma once
// ser2net in the foreground in front of a terminal device, serving it as
// rfc2217://127.0.0.1:PORT for as long as the object lives.

#include <string>
#include <sys/types.h>

class Ser2netServer {
public:
    // options: lines of the connection's "options:" (YAML), "" for none.
    Ser2netServer(const std::string& device, const std::string& options);
    ~Ser2netServer();
    Ser2netServer(const Ser2netServer&) = delete;
    Ser2netServer& operator=(const Ser2netServer&) = delete;

    // Listening; false when ser2net is missing or did not start.
    bool Ready() const { return m_bReady; }
    std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(m_port); }

private:
    pid_t m_pid = -1;
    int m_port = 0;
    bool m_bReady = false;
};
