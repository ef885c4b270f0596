#include "RecordFile.h"

#include "SystemMessage.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// An exclusive lock on the whole file while it lives, taken by every
// station that appends to it. A file system without locks is written
// unlocked, as before there were any.
class FileLock {
public:
    explicit FileLock(int fd) : m_fd(fd)
    {
        while (flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() { flock(m_fd, LOCK_UN); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd;
};

bool WriteAll(int fd, const std::string& bytes, std::string& error)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? SystemMessage(errno) : "nothing was written";
            return false;
        }
        done += static_cast<size_t>(n);
    }
    // A character device (a terminal, /dev/null) cannot be synced; that is no loss.
    if (fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        error = SystemMessage(errno);
        return false;
    }
    return true;
}

} // namespace

AppendFile::~AppendFile()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool AppendFile::Open(const std::string& path, std::string& error)
{
    // O_APPEND: every write lands at the end. Read as well, for the last
    // byte; a file we may only write is appended to without that look.
    m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    m_bReadable = m_fd >= 0;
    if (m_fd < 0 && errno == EACCES)
        m_fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        error = SystemMessage(errno);
        return false;
    }
    struct stat info {};
    m_bRegular = fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode);
    return true;
}

bool AppendFile::AppendLine(const std::string& line, const std::string& header, std::string& error)
{
    const FileLock lock(m_fd);
    off_t before = 0;
    if (m_bRegular) {
        struct stat info {};
        if (fstat(m_fd, &info) != 0) {
            error = SystemMessage(errno);
            return false;
        }
        before = info.st_size;
    }
    std::string bytes;
    char last = '\n';
    if (m_bRegular ? before == 0 : !m_bWritten) {
        if (!header.empty()) {
            bytes += header;
            bytes += '\n';
        }
    } else if (m_bRegular && m_bReadable && pread(m_fd, &last, 1, before - 1) == 1 && last != '\n') {
        bytes += '\n';
    }
    bytes += line;
    bytes += '\n';
    if (WriteAll(m_fd, bytes, error)) {
        m_bWritten = true;
        return true;
    }
    if (m_bRegular && ftruncate(m_fd, before) != 0)
        error += "; cutting off what was written failed too: " + SystemMessage(errno);
    return false;
}

std::string HostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "";
    return name;
}
