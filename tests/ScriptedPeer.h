#pragma once
// The far end of a pseudo-terminal, driven by a test: records every byte
// the host sends and answers with bytes the test lined up, each once the
// host has sent a given number of bytes and a given time has passed.

#include "SerialChannel.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedPeer {
public:
    ScriptedPeer();
    ~ScriptedPeer();

    const std::string& Path() const { return m_path; }
    // Opens the channel on this terminal and sets the line mode.
    bool Open(CSerialChannel& channel, int16_t mode = kLoaderLine, const PortOptions& options = {})
    {
        return channel.Open(m_path, options) && channel.SetLineMode(mode);
    }
    // Sends bytes once the host has sent afterBytes bytes in all, delay later.
    void AnswerAfter(size_t afterBytes, std::vector<uint8_t> bytes,
                     std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    // Waits until the host has sent count bytes (or a second has passed).
    std::vector<uint8_t> Received(size_t count = 0);
    int SlaveDescriptor() const { return m_slave; }

private:
    struct Answer {
        size_t afterBytes;
        std::chrono::milliseconds delay;
        std::vector<uint8_t> bytes;
        std::chrono::steady_clock::time_point due{};
        bool bArmed = false;
    };
    void Run();

    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<uint8_t> m_received;
    std::vector<Answer> m_answers;
    bool m_bStop = false;
    std::thread m_thread;
};
