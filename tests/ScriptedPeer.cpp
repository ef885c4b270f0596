#include "ScriptedPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

ScriptedPeer::ScriptedPeer()
{
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
    m_thread.join();
    close(m_slave);
    close(m_master);
}

void ScriptedPeer::AnswerAfter(size_t afterBytes, std::vector<uint8_t> bytes, std::chrono::milliseconds delay)
{
    std::lock_guard lock(m_mutex);
    m_answers.push_back(Answer{afterBytes, delay, std::move(bytes)});
}

std::vector<uint8_t> ScriptedPeer::Received(size_t count)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(1), [&] { return m_received.size() >= count; });
    return m_received;
}

void ScriptedPeer::Run()
{
    for (;;) {
        pollfd pfd{m_master, POLLIN, 0};
        poll(&pfd, 1, 1);
        std::lock_guard lock(m_mutex);
        if (m_bStop)
            return;
        uint8_t chunk[512];
        for (ssize_t got; (got = read(m_master, chunk, sizeof chunk)) > 0;)
            m_received.insert(m_received.end(), chunk, chunk + got);
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
