// The browser on Linux: xdg-open, started on its own, never waited for past
// its start (it may stay as long as the browser does).

#include "PageHost.h"

#include "SystemMessage.h"

#include <spawn.h>
#include <sys/wait.h>

#include <fcntl.h>

#include <cerrno>
#include <thread>

extern char** environ;

bool OpenInBrowser(const std::string& address, std::string& error)
{
    std::string program = "xdg-open";
    std::string argument = address;
    char* argv[] = {program.data(), argument.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Its words (a missing browser, a desktop's complaints) stay off the updater's stdout.
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int failed = posix_spawnp(&child, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        error = "could not start xdg-open to open a browser: " + SystemMessage(failed);
        return false;
    }
    // xdg-open hands the address on and ends; reap it without holding the page up.
    std::thread([child] { waitpid(child, nullptr, 0); }).detach();
    return true;
}
