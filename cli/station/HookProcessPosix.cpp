#include "HookProcess.h"

#include "HookLeftovers.h"
#include "SystemMessage.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Our environment with the extra pairs in place of any of the same name.
// Built for the child alone: setenv in this process would race a bench's
// other threads.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra)
{
    std::vector<std::string> all;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const std::string& pair : extra)
            replaced = replaced || text.compare(0, pair.find('=') + 1, pair, 0, pair.find('=') + 1) == 0;
        if (!replaced)
            all.push_back(text);
    }
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
}

ProcessEnd Ended(int status)
{
    if (WIFEXITED(status))
        return ProcessEnd{ProcessEnd::Exited, WEXITSTATUS(status), ""};
    return ProcessEnd{ProcessEnd::Signalled, WIFSIGNALED(status) ? WTERMSIG(status) : 0, ""};
}

// Reads what is there from the pipes still open; false once both are closed.
bool Drain(int pipes[2], HookLines& lines, int waitMs)
{
    pollfd fds[2] = {{pipes[0], POLLIN, 0}, {pipes[1], POLLIN, 0}};
    if (poll(fds, 2, waitMs) <= 0)
        return pipes[0] >= 0 || pipes[1] >= 0;
    for (int i = 0; i < 2; ++i) {
        if (pipes[i] < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buffer[4096];
        const ssize_t n = read(pipes[i], buffer, sizeof buffer);
        if (n > 0) {
            lines.Take(i == 1, buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            close(pipes[i]);
            pipes[i] = -1;
        }
    }
    return pipes[0] >= 0 || pipes[1] >= 0;
}

} // namespace

ProcessEnd RunShellCommand(const std::string& command, const std::vector<std::string>& environment, unsigned timeoutMs,
                           bool (*stopRequested)(), HookLines& lines)
{
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return ProcessEnd{ProcessEnd::NotStarted, 0, SystemMessage(errno)};
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return ProcessEnd{ProcessEnd::NotStarted, 0, SystemMessage(errno)};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // It reads nothing of ours: standard input is the person's answers.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own: everything the shell started ends with it, and
    // the terminal's Ctrl-C reaches this program only, which then ends it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);

    std::vector<std::string> env = ChildEnvironment(environment);
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (std::string& pair : env)
        envp.push_back(pair.data());
    envp.push_back(nullptr);
    std::string shell = "/bin/sh", dashC = "-c", text = command;
    char* argv[] = {shell.data(), dashC.data(), text.data(), nullptr};
    AdoptHookOrphans();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(out[1]);
    close(err[1]);
    int pipes[2] = {out[0], err[0]};
    if (spawned != 0) {
        close(pipes[0]);
        close(pipes[1]);
        return ProcessEnd{ProcessEnd::NotStarted, 0, SystemMessage(spawned)};
    }

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    ProcessEnd end{ProcessEnd::TimedOut, 0, ""};
    bool exited = false;
    for (bool reading = true;;) {
        // Left unreaped for now: its number keeps naming its group.
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) {
            exited = true;
            // What it wrote before it ended; a process it left behind may
            // keep the pipes open, so not a wait for their end.
            while (reading && (reading = Drain(pipes, lines, 0))) {
                pollfd ready[2] = {{pipes[0], POLLIN, 0}, {pipes[1], POLLIN, 0}};
                if (poll(ready, 2, 0) <= 0)
                    break;
            }
            break;
        }
        if (stopRequested && stopRequested()) {
            end = ProcessEnd{ProcessEnd::Interrupted, 0, ""};
            break;
        }
        if (Clock::now() >= deadline)
            break;
        if (reading)
            reading = Drain(pipes, lines, 50);
        else
            usleep(50 * 1000);
    }
    // Whatever it started ends with it, whether it ended, ran over or was
    // interrupted: its group, then what left the group.
    kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (exited)
        end = Ended(status);
    EndHookLeftovers(pid, environment);
    for (int fd : pipes)
        if (fd >= 0)
            close(fd);
    return end;
}
