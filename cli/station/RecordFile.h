#pragma once
// The record's file: opened for appending only, each line written with one
// call and flushed to the disk before the call returns, so that a power
// failure or a crash loses at most the line under way.

#include <string>

class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens or creates it; false with the system's reason.
    bool Open(const std::string& path, std::string& error);
    // Whether it held nothing when it was opened.
    bool WasEmpty() const { return m_bWasEmpty; }
    // Writes all of bytes at the end and flushes them to the disk; false
    // with the system's reason.
    bool Append(const std::string& bytes, std::string& error);

private:
#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
    bool m_bWasEmpty = true;
};

// This machine's name, for the record.
std::string HostName();
