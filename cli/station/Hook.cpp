#include "Hook.h"

#include "HookProcess.h"

namespace {

constexpr size_t kLongestLine = 4096;

// A hook's text shown as the device's is: printable ASCII as it stands,
// every other byte as \xNN, so that no escape sequence reaches a terminal
// and the record stays valid UTF-8. The backslash stays, unlike in device
// text: a hook's paths and commands read as they were written.
std::string PrintableHookText(const std::string& text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string printable;
    printable.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            printable += c;
        } else {
            printable += "\\x";
            printable += kHex[byte >> 4];
            printable += kHex[byte & 0x0F];
        }
    }
    return printable;
}

} // namespace

void HookLines::Take(bool fromStderr, const char* bytes, size_t count)
{
    std::lock_guard lock(m_mutex);
    std::string& partial = m_partial[fromStderr ? 1 : 0];
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] == '\n') {
            Emit(fromStderr, partial);
            partial.clear();
        } else if (bytes[i] != '\r') {
            partial += bytes[i];
            // A hook that never ends its line cannot fill the memory.
            if (partial.size() >= kLongestLine) {
                Emit(fromStderr, partial);
                partial.clear();
            }
        }
    }
}

void HookLines::Flush()
{
    std::lock_guard lock(m_mutex);
    for (int i = 0; i < 2; ++i) {
        if (!m_partial[i].empty())
            Emit(i == 1, m_partial[i]);
        m_partial[i].clear();
    }
}

std::string HookLines::LastErrorLine() const
{
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

std::string HookLines::FirstOutputLine() const
{
    std::lock_guard lock(m_mutex);
    return m_firstOutput;
}

void HookLines::Emit(bool fromStderr, const std::string& text)
{
    const std::string line = PrintableHookText(text);
    if (!fromStderr && !m_bOutputBegun) {
        m_bOutputBegun = true;
        m_firstOutput = text;
    }
    // One call per line: the lines of a bench's hooks never mix.
    if (m_onLine) {
        m_onLine(m_prefix + line);
    } else {
        std::fprintf(m_to, "%s%s\n", m_prefix.c_str(), line.c_str());
        std::fflush(m_to);
    }
    // Kept without trailing blanks (cmd's "echo text 1>&2" leaves one).
    const size_t end = line.find_last_not_of(" \t");
    if (fromStderr && end != std::string::npos)
        m_lastError = line.substr(0, end + 1);
}

HookResult RunHook(const HookCall& call)
{
    HookLines lines(call.output, "[slot " + std::to_string(call.slot) + " " + call.name + "] ", call.onLine);
    std::vector<std::string> environment = {"KESTRUNE_PORT=" + call.port, "KESTRUNE_SLOT=" + std::to_string(call.slot)};
    if (!call.unit.empty())
        environment.push_back("KESTRUNE_UNIT=" + call.unit);
    const ProcessEnd end = RunShellCommand(call.command, environment, call.timeoutS * 1000U, call.stopRequested, lines);
    lines.Flush();
    HookResult result;
    result.firstLine = lines.FirstOutputLine();
    std::string how;
    switch (end.kind) {
    case ProcessEnd::Exited:
        if (end.code == 0)
            return result.bOk = true, result;
        how = "exited with status " + std::to_string(end.code);
        break;
    case ProcessEnd::Signalled: how = "was ended by signal " + std::to_string(end.code); break;
    case ProcessEnd::TimedOut: how = "ran over its " + std::to_string(call.timeoutS) + " s and was stopped"; break;
    case ProcessEnd::Interrupted:
        result.bInterrupted = true;
        how = "was stopped by the interrupt";
        break;
    case ProcessEnd::NotStarted: how = "could not start: " + end.reason; break;
    }
    // The command as given and the system's words, printable as the hook's lines are.
    result.detail = PrintableHookText(std::string(call.name) + " hook '" + call.command + "' " + how);
    if (const std::string last = lines.LastErrorLine(); !last.empty())
        result.detail += ": " + last;
    return result;
}
