#include "Ser2netServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <thread>

namespace {

// A loopback port nobody listens on now; 0 when none could be had.
int FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    close(fd);
    return bound ? ntohs(address.sin_port) : 0;
}

bool Listening(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

} // namespace

Ser2netServer::Ser2netServer(const std::string& device, const std::string& options) : m_port(FreePort())
{
    // -Y takes the configuration itself, '#' standing for a line end; -u
    // takes no lock files, -d stays in the foreground.
    const std::string config = "connection: &kz#  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1," +
                               std::to_string(m_port) + "#  connector: serialdev," + device + ",9600n81,local" +
                               (options.empty() ? "" : "#  options:#    " + options);
    if (m_port == 0)
        return; // not ready: the benchmark says so
    m_pid = fork();
    if (m_pid == 0) {
        const int none = open("/dev/null", O_RDWR);
        dup2(none, STDIN_FILENO);
        dup2(none, STDOUT_FILENO);
        dup2(none, STDERR_FILENO);
        execlp("ser2net", "ser2net", "-u", "-d", "-Y", config.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int tries = 0; tries < 50 && !m_bReady && m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_bReady = Listening(m_port);
    }
}

Ser2netServer::~Ser2netServer()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
}
