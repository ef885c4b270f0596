#include "ScriptedPeer.h"

#include "ServingPriority.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

ScriptedPeer::ScriptedPeer(Kind kind)
{
    if (kind != Kind::Terminal) {
        Listen(kind);
        if (kind == Kind::PortServer)
            m_thread = std::thread([this] { Run(); });
        return;
    }
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    grantpt(m_master);
    unlockpt(m_master);
    m_path = ptsname(m_master);
    m_slave = open(m_path.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    tcgetattr(m_slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_slave, TCSANOW, &tio);
    m_thread = std::thread([this] { Run(); });
}

ScriptedPeer::~ScriptedPeer()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    if (m_thread.joinable())
        m_thread.join();
    for (const int fd : {m_slave, m_master, m_listener})
        if (fd >= 0)
            close(fd);
    for (const int fd : m_fillers)
        close(fd);
}

void ScriptedPeer::Listen(Kind kind)
{
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // Any free port; a failure shows as a refused connect.
    (void)bind(m_listener, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_path = "rfc2217://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    if (kind == Kind::PortServer) {
        listen(m_listener, 1);
        return;
    }
    // Linux queues backlog + 1 finished handshakes and then drops new ones:
    // the fillers take that place, and the host's connect waits on.
    listen(m_listener, 0);
    for (int i = 0; i < 2; ++i) {
        m_fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        (void)connect(m_fillers.back(), reinterpret_cast<sockaddr*>(&address), length); // goes on, or hangs
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

void ScriptedPeer::AnswerAfter(size_t afterBytes, std::vector<uint8_t> bytes, std::chrono::milliseconds delay)
{
    std::lock_guard lock(m_mutex);
    m_answers.push_back(Answer{afterBytes, delay, std::move(bytes)});
}

void ScriptedPeer::StopReading()
{
    std::lock_guard lock(m_mutex);
    m_bReading = false;
}

std::vector<uint8_t> ScriptedPeer::Received(size_t count)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(1), [&] { return m_received.size() >= count; });
    return m_received;
}

void ScriptedPeer::Run()
{
    RaiseServingPriority(); // it answers for a device, on the device's time
    for (;;) {
        // It serves at a real-time priority: every turn of this loop waits,
        // or a peer with input it leaves unread, or whose host has gone,
        // would hold a processor for good.
        int waitOn = -1;
        {
            std::lock_guard lock(m_mutex);
            waitOn = m_master < 0 ? m_listener : m_bReading ? m_master : -1;
        }
        pollfd pfd{waitOn, POLLIN, 0};
        if (waitOn < 0 || poll(&pfd, 1, 1) < 0 || (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::lock_guard lock(m_mutex);
        if (m_bStop)
            return;
        if (m_master < 0 && (m_master = accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK)) < 0)
            continue;
        uint8_t chunk[512];
        ssize_t got = -1;
        while (m_bReading && (got = read(m_master, chunk, sizeof chunk)) > 0)
            m_received.insert(m_received.end(), chunk, chunk + got);
        if (got == 0 && m_listener >= 0) { // the host closed the connection: the next one is served
            close(m_master);
            m_master = -1;
        }
        m_changed.notify_all();
        const auto now = std::chrono::steady_clock::now();
        for (auto it = m_answers.begin(); it != m_answers.end();) {
            if (!it->bArmed && m_received.size() >= it->afterBytes) {
                it->bArmed = true;
                it->due = now + it->delay;
            }
            if (it->bArmed && now >= it->due) {
                (void)!write(m_master, it->bytes.data(), it->bytes.size());
                it = m_answers.erase(it);
            } else {
                ++it;
            }
        }
    }
}
