#include "PortDiagnosis.h"
#include "SystemMessage.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>

namespace {

constexpr char kListHint[] = "'kestrune-update --list-ports' lists the ports present.";

// Programs known to grab serial adapters, and how to keep them off.
std::string CulpritAdvice(const std::string& command, const std::string& path)
{
    if (command == "ModemManager")
        return "\n  ModemManager probes every new serial port: 'sudo systemctl stop ModemManager' stops it;\n"
               "  'kestrune-update --udev-rule " +
               path + "' prints a udev rule that keeps it off this adapter for good.";
    if (command == "brltty")
        return "\n  brltty takes some USB serial adapters for Braille displays: 'sudo apt remove brltty' ends that.";
    return "";
}

std::string GroupOf(const std::string& path)
{
    struct stat device {};
    if (stat(path.c_str(), &device) != 0)
        return "dialout";
    const group* owner = getgrgid(device.st_gid);
    return owner ? owner->gr_name : std::to_string(device.st_gid);
}

std::string DescribeHolders(const std::string& path, const std::string& head, const PortOpenFailure& failure)
{
    if (failure.holders.empty())
        return head +
               (failure.systemError == EBUSY ? "in use by another program, which holds it for itself"
                                             : "in use by another program (it holds the port's lock)") +
               "\n  Close it and try again.";
    std::string text = head + "in use by another program:";
    for (const PortHolder& holder : failure.holders)
        text += " " + holder.command + " (process " + std::to_string(holder.pid) + ")";
    text += "\n  Close it and try again.";
    for (const PortHolder& holder : failure.holders)
        text += CulpritAdvice(holder.command, path);
    return text;
}

std::string DescribeRefusal(const std::string& path, const std::string& head, int error)
{
    if (error == ENOENT)
        return head + SystemMessage(error) + "\n  No such serial device here. " + kListHint;
    if (error == EISDIR)
        return head + "not a terminal device (a folder)\n  Name the serial port itself, such as /dev/ttyUSB0; " +
               kListHint;
    std::string text = head + SystemMessage(error);
    if (error == EACCES || error == EPERM) {
        const std::string group = GroupOf(path);
        text += "\n  The device belongs to group '" + group + "': add yourself to the '" + group +
                "' group (sudo usermod -aG " + group + " $USER) and log in again.";
    }
    return text;
}

} // namespace

std::string DescribeOpenFailure(const std::string& name, const PortOpenFailure& failure)
{
    const std::string head = name + ": ";
    switch (failure.cause) {
    case PortOpenFailure::Cause::Held: return DescribeHolders(name, head, failure);
    case PortOpenFailure::Cause::NotATerminal: {
        struct stat what {};
        const bool file = stat(name.c_str(), &what) == 0 && S_ISREG(what.st_mode);
        return head + "not a terminal device" + (file ? " (a file)" : "") +
               "\n  Name the serial port itself, such as /dev/ttyUSB0; " + kListHint;
    }
    case PortOpenFailure::Cause::Network: return DescribeNetworkFailure(name, failure);
    default: return DescribeRefusal(name, head, failure.systemError);
    }
}
