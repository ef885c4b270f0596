#include "RecordFile.h"

#include "SystemMessage.h"

#include <windows.h>

AppendFile::~AppendFile()
{
    if (m_handle)
        CloseHandle(m_handle);
}

bool AppendFile::Open(const std::string& path, std::string& error)
{
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end.
    HANDLE handle = CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = SystemMessage(static_cast<int>(GetLastError()));
        return false;
    }
    m_handle = handle;
    LARGE_INTEGER size{};
    m_bWasEmpty = !GetFileSizeEx(handle, &size) || size.QuadPart == 0;
    return true;
}

bool AppendFile::Append(const std::string& bytes, std::string& error)
{
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(m_handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0) {
            error = SystemMessage(static_cast<int>(GetLastError()));
            return false;
        }
        done += written;
    }
    // A console or the NUL device cannot be flushed; that is no loss.
    if (!FlushFileBuffers(m_handle) && GetFileType(m_handle) == FILE_TYPE_DISK) {
        error = SystemMessage(static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

std::string HostName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}
