#include "PortHolders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

constexpr unsigned kFirstPtyMajor = 136; // Unix98 pseudo-terminal slaves: 136-143

// Calls f(path of the fd link, fd name) for every open file of the process.
template <typename F>
void ForEachOpenFile(const std::string& pidDir, F&& f)
{
    DIR* fds = opendir((pidDir + "/fd").c_str());
    if (!fds)
        return; // gone, or not ours to look into
    while (const dirent* entry = readdir(fds))
        if (entry->d_name[0] != '.')
            f(pidDir + "/fd/" + entry->d_name, entry->d_name);
    closedir(fds);
}

// True when the process holds the master of the pseudo-terminal with this index.
bool HoldsPtyMaster(const std::string& pidDir, unsigned index)
{
    bool found = false;
    ForEachOpenFile(pidDir, [&](const std::string&, const char* fd) {
        std::ifstream info(pidDir + "/fdinfo/" + fd);
        for (std::string line; !found && std::getline(info, line);)
            if (line.rfind("tty-index:", 0) == 0 && std::strtoul(line.c_str() + 10, nullptr, 10) == index)
                found = true;
    });
    return found;
}

} // namespace

std::vector<PortHolder> OtherHoldersOf(const std::string& path)
{
    std::vector<PortHolder> holders;
    struct stat device {};
    if (stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode))
        return holders;
    const unsigned major = ::major(device.st_rdev);
    const bool isPty = major >= kFirstPtyMajor && major < kFirstPtyMajor + 8;
    const unsigned ptyIndex = (major - kFirstPtyMajor) * 256 + ::minor(device.st_rdev);

    DIR* proc = opendir("/proc");
    if (!proc)
        return holders;
    const int self = getpid();
    while (const dirent* entry = readdir(proc)) {
        const int pid = std::atoi(entry->d_name);
        if (pid <= 0 || pid == self)
            continue;
        const std::string pidDir = std::string("/proc/") + entry->d_name;
        bool holds = false;
        ForEachOpenFile(pidDir, [&](const std::string& link, const char*) {
            struct stat target {};
            if (!holds && stat(link.c_str(), &target) == 0 && S_ISCHR(target.st_mode) &&
                target.st_rdev == device.st_rdev)
                holds = true;
        });
        if (!holds || (isPty && HoldsPtyMaster(pidDir, ptyIndex)))
            continue;
        std::string command;
        std::getline(std::ifstream(pidDir + "/comm"), command);
        // "PID (COMMAND) STATE PPID ...": the parent follows the last ')'.
        std::string stat;
        std::getline(std::ifstream(pidDir + "/stat"), stat);
        const size_t end = stat.rfind(')');
        const int parent = end == std::string::npos ? 0 : std::atoi(stat.c_str() + std::min(end + 4, stat.size()));
        holders.push_back(PortHolder{pid, command, parent == self});
    }
    closedir(proc);
    return holders;
}
