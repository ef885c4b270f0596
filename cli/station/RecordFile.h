#pragma once
// The record's file, shared by every station that appends to it: each line
// is written under an exclusive lock on the file and flushed to the disk
// before the call returns, so that a power failure or a crash loses at most
// the line under way, and no line of one station splits another's.

#include <string>

class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens or creates it; false with the system's reason.
    bool Open(const std::string& path, std::string& error);
    // Writes line and its line end at the end of the file. Decided under the
    // lock: the header first (where not empty) when the file holds nothing,
    // a line end first when its last line lacks one (a crash cut it off). A
    // write that fails part-way is taken back, the file cut to its length
    // before it: the file never keeps a torn line. False with the system's
    // reason.
    bool AppendLine(const std::string& line, const std::string& header, std::string& error);

private:
#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
    bool m_bRegular = false;  // a file on a disk, not a terminal or a device
    bool m_bReadable = false; // its last byte can be read
    bool m_bWritten = false;  // a line went to it from here
};

// This machine's name, for the record.
std::string HostName();
