#pragma once
// The far end of a pseudo-terminal, driven by a test: records every byte
// the host sends and answers with bytes the test lined up, each once the
// host has sent a given number of bytes and a given time has passed.
//
// As a port server it is the far end of a TCP connection on loopback
// instead, named rfc2217://127.0.0.1:PORT, and the bytes are the
// connection's, Telnet and all. A listener that never answers accepts
// nothing, and its backlog is full, so a connect to it never completes.

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
    enum class Kind : uint8_t { Terminal, PortServer, SilentListener };

    explicit ScriptedPeer(Kind kind = Kind::Terminal);
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
    // From now on nothing the host sends is taken, as from a server that
    // stopped reading.
    void StopReading();

private:
    struct Answer {
        size_t afterBytes;
        std::chrono::milliseconds delay;
        std::vector<uint8_t> bytes;
        std::chrono::steady_clock::time_point due{};
        bool bArmed = false;
    };
    void Run();
    void Listen(Kind kind);

    int m_master = -1;          // the terminal's master side, or the accepted connection
    int m_listener = -1;        // a port server's
    std::vector<int> m_fillers; // connections that fill a silent listener's backlog
    int m_slave = -1;
    std::string m_path;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<uint8_t> m_received;
    std::vector<Answer> m_answers;
    bool m_bStop = false;
    bool m_bReading = true;
    std::thread m_thread;
};
