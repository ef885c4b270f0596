#pragma once
// Runs a hook's command in a process of its own (a process group on POSIX,
// a job on Windows, so that what it starts ends with it) and hands on what
// it writes. Each platform has its backend.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// What a hook writes, cut into lines for our stderr, each with the prefix
// and made printable; safe to feed from two threads.
class HookLines {
public:
    HookLines(std::FILE* to, std::string prefix, std::function<void(const std::string&)> onLine = {})
        : m_to(to), m_prefix(std::move(prefix)), m_onLine(std::move(onLine))
    {
    }
    void Take(bool fromStderr, const char* bytes, size_t count);
    // The lines still without their end.
    void Flush();
    std::string LastErrorLine() const;
    // The first line it wrote to stdout, as written; "" where none.
    std::string FirstOutputLine() const;

private:
    void Emit(bool fromStderr, const std::string& text);

    std::FILE* m_to;
    std::string m_prefix;
    std::function<void(const std::string&)> m_onLine;
    mutable std::mutex m_mutex;
    std::string m_partial[2]; // stdout, stderr
    std::string m_lastError;
    std::string m_firstOutput;
    bool m_bOutputBegun = false;
};

struct ProcessEnd {
    enum Kind { Exited, Signalled, TimedOut, Interrupted, NotStarted } kind = NotStarted;
    int code = 0;       // exit status or signal
    std::string reason; // why it could not start
};

// command through the system shell with the extra NAME=VALUE pairs in its
// environment, ended with everything it started after timeoutMs or once a
// signal has come to this program.
ProcessEnd RunShellCommand(const std::string& command, const std::vector<std::string>& environment, unsigned timeoutMs,
                           bool (*stopRequested)(), HookLines& lines);
