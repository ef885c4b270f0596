#include "RecordFile.h"

#include "SystemMessage.h"

#include <windows.h>

namespace {

OVERLAPPED At(ULONGLONG offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

// An exclusive lock while it lives, taken by every station that appends to
// the file. Windows locks are mandatory, so the locked byte lies far beyond
// any record's end: the lines themselves stay readable meanwhile. A file
// system without locks is written unlocked.
class FileLock {
public:
    explicit FileLock(HANDLE handle) : m_handle(handle), m_at(At(kLockOffset))
    {
        m_bLocked = LockFileEx(m_handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &m_at);
    }
    ~FileLock()
    {
        if (m_bLocked)
            UnlockFileEx(m_handle, 0, 1, 0, &m_at);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    static constexpr ULONGLONG kLockOffset = 0x7FFFFFFF00000000ULL;
    HANDLE m_handle;
    OVERLAPPED m_at;
    BOOL m_bLocked = FALSE;
};

// At the offset where the file is on a disk (its end, under the lock),
// otherwise where the handle writes.
bool WriteAll(HANDLE handle, const std::string& bytes, const ULONGLONG* at, std::string& error)
{
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        OVERLAPPED where = At(at ? *at + done : 0);
        if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                       at ? &where : nullptr) ||
            written == 0) {
            error = SystemMessage(static_cast<int>(GetLastError()));
            return false;
        }
        done += written;
    }
    // A console or the NUL device cannot be flushed; that is no loss.
    if (!FlushFileBuffers(handle) && GetFileType(handle) == FILE_TYPE_DISK) {
        error = SystemMessage(static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

} // namespace

AppendFile::~AppendFile()
{
    if (m_handle)
        CloseHandle(m_handle);
}

bool AppendFile::Open(const std::string& path, std::string& error)
{
    // Read and written: the last byte is looked at, and a torn write cut
    // off. A file we may only append to is written without either.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    m_bReadable = handle != INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        handle = CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = SystemMessage(static_cast<int>(GetLastError()));
        return false;
    }
    m_handle = handle;
    m_bRegular = GetFileType(handle) == FILE_TYPE_DISK;
    return true;
}

bool AppendFile::AppendLine(const std::string& line, const std::string& header, std::string& error)
{
    const FileLock lock(m_handle);
    LARGE_INTEGER size{};
    if (m_bRegular && !GetFileSizeEx(m_handle, &size)) {
        error = SystemMessage(static_cast<int>(GetLastError()));
        return false;
    }
    const ULONGLONG before = static_cast<ULONGLONG>(size.QuadPart);
    std::string bytes;
    char last = '\n';
    DWORD read = 0;
    OVERLAPPED lastAt = At(before - 1);
    if (m_bRegular ? before == 0 : !m_bWritten) {
        if (!header.empty()) {
            bytes += header;
            bytes += '\n';
        }
    } else if (m_bRegular && m_bReadable && ReadFile(m_handle, &last, 1, &read, &lastAt) && read == 1 && last != '\n') {
        bytes += '\n';
    }
    bytes += line;
    bytes += '\n';
    // An append-only handle writes at the end whatever the offset says.
    if (WriteAll(m_handle, bytes, m_bRegular && m_bReadable ? &before : nullptr, error)) {
        m_bWritten = true;
        return true;
    }
    LARGE_INTEGER cut{};
    cut.QuadPart = static_cast<LONGLONG>(before);
    if (m_bRegular && m_bReadable && !(SetFilePointerEx(m_handle, cut, nullptr, FILE_BEGIN) && SetEndOfFile(m_handle)))
        error += "; cutting off what was written failed too: " + SystemMessage(static_cast<int>(GetLastError()));
    return false;
}

std::string HostName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}
