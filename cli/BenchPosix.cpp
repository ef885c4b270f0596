#include "Bench.h"

#include "BenchReport.h"
#include "Interrupts.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

struct Child {
    BenchDevice device;
    CliOptions options;
    pid_t pid = -1;
    int out = -1; // its JSON events
    int err = -1; // its errors
    std::string outPending, errors;
    Clock::time_point started;
};

// The options one device's child runs with: its own port, no questions,
// events as JSON.
std::vector<Child> PlanChildren(const CliOptions& bench)
{
    std::vector<Child> children;
    const size_t count = bench.benchSimulated ? bench.benchSimulated : bench.benchPorts.size();
    for (size_t i = 0; i < count; ++i) {
        Child child;
        child.options = bench;
        child.options.action = CliAction::Update;
        child.options.bJson = child.options.bAssumeYes = true;
        child.options.tracePath.clear();
        if (bench.benchSimulated) {
            child.device.name = "simulated " + std::to_string(i + 1);
            for (const BenchFault& fault : bench.benchFaults)
                if (fault.device == i + 1)
                    child.options.faults.push_back(fault.fault);
        } else {
            const std::string& port = bench.benchPorts[i];
            const bool number = std::all_of(port.begin(), port.end(), [](char c) { return std::isdigit(c); });
            child.device.name = number ? "COM" + port : port;
            if (number)
                child.options.port = static_cast<uint8_t>(std::stoi(port));
            else
                child.options.device = port;
        }
        children.push_back(child);
    }
    return children;
}

bool Start(Child& child)
{
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        return false;
    child.started = Clock::now();
    child.pid = fork();
    if (child.pid == 0) {
        close(out[0]);
        close(err[0]);
        std::FILE* events = fdopen(out[1], "w");
        std::FILE* errors = fdopen(err[1], "w");
        std::FILE* none = std::fopen("/dev/null", "r");
        const int exit = RunUpdater(child.options, CliStreams{events, errors, none});
        std::fflush(events);
        std::fflush(errors);
        _exit(exit);
    }
    close(out[1]);
    close(err[1]);
    child.out = out[0];
    child.err = err[0];
    return child.pid > 0;
}

// Takes what the child wrote; false once both its pipes are closed.
bool Collect(Child& child, int fd, BenchReport& report)
{
    char buffer[4096];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) {
        if (got < 0 && errno == EINTR)
            return true;
        close(fd);
        (fd == child.out ? child.out : child.err) = -1;
        return child.out >= 0 || child.err >= 0;
    }
    if (fd == child.err) {
        child.errors.append(buffer, static_cast<size_t>(got));
        return true;
    }
    child.outPending.append(buffer, static_cast<size_t>(got));
    for (size_t end; (end = child.outPending.find('\n')) != std::string::npos;) {
        report.Event(child.device, child.outPending.substr(0, end));
        child.outPending.erase(0, end + 1);
    }
    return true;
}

std::vector<BenchDevice> DevicesOf(const std::vector<Child>& children)
{
    std::vector<BenchDevice> devices;
    for (const Child& child : children)
        devices.push_back(child.device);
    return devices;
}

} // namespace

int RunBench(const CliOptions& options, const CliStreams& io)
{
    CatchInterrupts();
    std::vector<Child> children = PlanChildren(options);
    if (options.benchSimulated == 0 && !options.bAssumeYes) {
        std::fprintf(options.bJson ? io.err : io.out,
                     "Put each of the %zu Kestrunes into bootstrap mode: power off for 5 seconds, hold \"SET\"\n"
                     "while powering on, release it after 5 seconds. Then type yes and press Enter: ",
                     children.size());
        std::fflush(options.bJson ? io.err : io.out);
        if (!AnswersYes(io.in)) {
            std::fprintf(io.err, "Bench cancelled; nothing was sent.\n");
            return ExitCancelled;
        }
    }
    BenchReport report(io.out, options.bJson);
    std::fflush(io.out);
    std::fflush(io.err);
    for (Child& child : children)
        if (!Start(child))
            return std::fprintf(io.err, "kestrune-update: cannot start a process for %s\n", child.device.name.c_str()),
                   ExitUsage;

    bool forwarded = false;
    for (size_t running = children.size(); running > 0;) {
        // A signal the children did not get with us (SIGTERM to this process) goes on to them.
        if (InterruptSignal() != 0 && !forwarded) {
            forwarded = true;
            for (const Child& child : children)
                kill(child.pid, InterruptSignal());
        }
        std::vector<pollfd> fds;
        std::vector<Child*> owners;
        for (Child& child : children)
            for (int fd : {child.out, child.err})
                if (fd >= 0) {
                    fds.push_back(pollfd{fd, POLLIN, 0});
                    owners.push_back(&child);
                }
        poll(fds.data(), fds.size(), 100);
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            Child& child = *owners[i];
            if (Collect(child, fds[i].fd, report))
                continue;
            int status = 0;
            waitpid(child.pid, &status, 0);
            child.device.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            child.device.seconds = std::chrono::duration<double>(Clock::now() - child.started).count();
            report.Finished(child.device, child.errors);
            --running;
        }
        report.Redraw(DevicesOf(children));
    }
    const std::vector<BenchDevice> devices = DevicesOf(children);
    report.Table(devices);
    if (InterruptSignal() != 0)
        return 128 + InterruptSignal();
    const bool allUpdated = std::all_of(devices.begin(), devices.end(), [](const BenchDevice& d) { return d.bOk; });
    return allUpdated ? ExitSuccess : ExitStageFailed;
}
