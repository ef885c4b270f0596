#include "HookProcess.h"

#include "SystemMessage.h"

#include <windows.h>

#include <chrono>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

// Our environment block with the extra pairs in place of any of the same
// name (names compared without case, as Windows does), built for the
// child alone.
std::string ChildEnvironment(const std::vector<std::string>& extra)
{
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; entry && *entry; entry += std::strlen(entry) + 1) {
        const std::string text = entry;
        bool replaced = false;
        for (const std::string& pair : extra)
            replaced = replaced || _strnicmp(text.c_str(), pair.c_str(), pair.find('=') + 1) == 0;
        if (!replaced)
            block.append(text).push_back('\0');
    }
    if (strings)
        FreeEnvironmentStringsA(strings);
    for (const std::string& pair : extra)
        block.append(pair).push_back('\0');
    block.push_back('\0');
    return block;
}

// What waits in the pipe, without blocking: a process the hook started may
// hold its other end for longer than the hook runs.
void ReadWaiting(HANDLE pipe, bool fromStderr, HookLines& lines)
{
    char buffer[4096];
    DWORD waiting = 0, n = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0 &&
           ReadFile(pipe, buffer, waiting < sizeof buffer ? waiting : sizeof buffer, &n, nullptr) && n > 0)
        lines.Take(fromStderr, buffer, n);
}

} // namespace

ProcessEnd RunShellCommand(const std::string& command, const std::vector<std::string>& environment, unsigned timeoutMs,
                           bool (*stopRequested)(), HookLines& lines)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0))
        return ProcessEnd{ProcessEnd::NotStarted, 0, SystemMessage(static_cast<int>(GetLastError()))};
    if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        CloseHandle(outRead);
        CloseHandle(outWrite);
        return ProcessEnd{ProcessEnd::NotStarted, 0, SystemMessage(static_cast<int>(GetLastError()))};
    }
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    // It reads nothing of ours: standard input is the person's answers.
    HANDLE nul =
        CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

    // A job of its own: a timeout ends everything the shell started.
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job)
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    char comspec[MAX_PATH] = "cmd.exe";
    GetEnvironmentVariableA("ComSpec", comspec, sizeof comspec);
    std::string line = "\"";
    line += comspec;
    line += "\" /d /s /c \"";
    line += command;
    line += '"';
    std::string env = ChildEnvironment(environment);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    // Its own process group: the console's Ctrl-C reaches this program,
    // which then ends the hook.
    const BOOL created = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE,
                                        CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW, env.data(),
                                        nullptr, &startup, &process);
    const DWORD createError = GetLastError();
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!created) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        if (job)
            CloseHandle(job);
        return ProcessEnd{ProcessEnd::NotStarted, 0, SystemMessage(static_cast<int>(createError))};
    }
    if (job)
        AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    ProcessEnd end{ProcessEnd::TimedOut, 0, ""};
    for (;;) {
        ReadWaiting(outRead, false, lines);
        ReadWaiting(errRead, true, lines);
        if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            end = ProcessEnd{ProcessEnd::Exited, static_cast<int>(code), ""};
            break;
        }
        if (stopRequested && stopRequested()) {
            end = ProcessEnd{ProcessEnd::Interrupted, 0, ""};
            break;
        }
        if (Clock::now() >= deadline)
            break;
    }
    // Whatever it left running ends with it; that closes the pipes too.
    if (job) {
        TerminateJobObject(job, 1);
        CloseHandle(job);
    } else if (end.kind != ProcessEnd::Exited) {
        TerminateProcess(process.hProcess, 1);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    ReadWaiting(outRead, false, lines);
    ReadWaiting(errRead, true, lines);
    CloseHandle(outRead);
    CloseHandle(errRead);
    return end;
}
