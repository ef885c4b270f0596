#include "HookLeftovers.h"

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

namespace {

// Long enough for a killed process's children to come to this program.
constexpr auto kLeftoversMs = std::chrono::milliseconds(2000);

struct Child {
    pid_t pid;
    pid_t group;
    bool bZombie;
};

// This program's children, from /proc.
std::vector<Child> Children()
{
    std::vector<Child> children;
    DIR* proc = opendir("/proc");
    if (!proc)
        return children;
    const pid_t self = getpid();
    while (const dirent* entry = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0)
            continue;
        // "PID (NAME) STATE PPID PGRP ...", where the name may hold blanks and parentheses.
        // A process reaped between the open and the read fails the read (ESRCH):
        // getline takes that as the end of the stream, where an istreambuf_iterator
        // let the stream's exception out and ended this program ("Aborted").
        std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
        std::string stat;
        std::getline(file, stat);
        const size_t nameEnd = stat.rfind(')');
        if (nameEnd == std::string::npos)
            continue;
        char state = 0;
        int parent = 0, group = 0;
        if (std::sscanf(stat.c_str() + nameEnd + 1, " %c %d %d", &state, &parent, &group) == 3 && parent == self)
            children.push_back(Child{pid, group, state == 'Z'});
    }
    closedir(proc);
    return children;
}

bool HasMarks(pid_t pid, const std::vector<std::string>& marks)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/environ");
    std::set<std::string> environment;
    for (std::string pair; std::getline(file, pair, '\0');)
        environment.insert(pair);
    return !marks.empty() && std::all_of(marks.begin(), marks.end(),
                                         [&](const std::string& mark) { return environment.count(mark) > 0; });
}

} // namespace

void AdoptHookOrphans()
{
    // Without it (an old kernel) the orphans go to init; the group still ends.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
}

void EndHookLeftovers(int group, const std::vector<std::string>& marks)
{
    std::set<pid_t> groups{group};
    const auto deadline = std::chrono::steady_clock::now() + kLeftoversMs;
    for (;;) {
        for (const pid_t each : groups)
            kill(-each, SIGKILL);
        bool found = false;
        for (const Child& child : Children()) {
            if (!groups.count(child.group) && (child.bZombie || !HasMarks(child.pid, marks)))
                continue;
            found = true;
            if (child.group != getpgrp() && groups.insert(child.group).second)
                kill(-child.group, SIGKILL);
            kill(child.pid, SIGKILL);
            // Reaped here once it has ended: a zombie of one of the groups.
            waitpid(child.pid, nullptr, WNOHANG);
        }
        // Done once none of the groups has a process left, wherever it is.
        const bool left = std::any_of(groups.begin(), groups.end(), [](pid_t each) { return kill(-each, 0) == 0; });
        if ((!found && !left) || std::chrono::steady_clock::now() >= deadline)
            return;
        usleep(10 * 1000);
    }
}
