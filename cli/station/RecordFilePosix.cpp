#include "RecordFile.h"

#include "SystemMessage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

AppendFile::~AppendFile()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool AppendFile::Open(const std::string& path, std::string& error)
{
    // O_APPEND: every write lands at the end, whoever else appends meanwhile.
    m_fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        error = SystemMessage(errno);
        return false;
    }
    struct stat info {};
    m_bWasEmpty = fstat(m_fd, &info) != 0 || info.st_size == 0;
    return true;
}

bool AppendFile::Append(const std::string& bytes, std::string& error)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? SystemMessage(errno) : "nothing was written";
            return false;
        }
        done += static_cast<size_t>(n);
    }
    // A character device (a terminal, /dev/null) cannot be synced; that is no loss.
    if (fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS) {
        error = SystemMessage(errno);
        return false;
    }
    return true;
}

std::string HostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "";
    return name;
}
