#pragma once
// An attended bench's power cycle (no power-cycle hook, no -y): each updated
// unit of the round waits here, its port open, until the person has
// power-cycled the round's units and pressed Enter; it then asks for the
// version as after a power-cycle hook.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

class RoundRestart {
public:
    // A unit's thread: true once the person answered, false when no answer
    // came or stopRequested said to end.
    bool Wait(bool (*stopRequested)())
    {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        while (!m_bDone && !stopRequested())
            m_changed.wait_for(lock, std::chrono::milliseconds(100));
        return m_bDone && m_bAnswered;
    }
    size_t Waiting() const
    {
        std::lock_guard lock(m_mutex);
        return m_waiting;
    }
    // The bench's thread, once every unit still under way waits.
    void Answer(bool answered)
    {
        std::lock_guard lock(m_mutex);
        m_bDone = true;
        m_bAnswered = answered;
        m_changed.notify_all();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_waiting = 0;
    bool m_bDone = false;
    bool m_bAnswered = false;
};
