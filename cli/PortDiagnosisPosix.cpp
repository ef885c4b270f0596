#include "PortDiagnosis.h"

#include "PortHolders.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Programs known to grab serial adapters, and how to keep them off.
const char* CulpritAdvice(const std::string& command)
{
    if (command == "ModemManager")
        return "  ModemManager probes every new serial port: 'sudo systemctl stop ModemManager' stops it.\n";
    if (command == "brltty")
        return "  brltty takes some USB serial adapters for Braille displays: 'sudo apt remove brltty' ends that.\n";
    return "";
}

std::string GroupOf(const struct stat& device)
{
    const group* owner = getgrgid(device.st_gid);
    return owner ? owner->gr_name : std::to_string(device.st_gid);
}

} // namespace

std::string DescribeOpenFailure(const std::string& path)
{
    const std::string head = path + ": ";
    struct stat device {};
    if (stat(path.c_str(), &device) != 0) {
        const std::string reason = std::strerror(errno);
        return head + reason + "\n  No such serial device here. 'kestrune-update --list-ports' lists the ports present.\n";
    }
    if (!S_ISCHR(device.st_mode))
        return head + "not a terminal device (" + (S_ISDIR(device.st_mode) ? "a folder" : "a file") +
               ")\n  Name the serial port itself, such as /dev/ttyUSB0; 'kestrune-update --list-ports' lists them.\n";

    const auto holders = OtherHoldersOf(path);
    if (!holders.empty()) {
        std::string text = head + "in use by another program:";
        for (const PortHolder& holder : holders)
            text += " " + holder.command + " (process " + std::to_string(holder.pid) + ")";
        text += "\n  Close it and try again.\n";
        for (const PortHolder& holder : holders)
            text += CulpritAdvice(holder.command);
        return text;
    }
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        std::string text = head + std::strerror(error) + "\n";
        if (error == EACCES || error == EPERM) {
            const std::string group = GroupOf(device);
            text += "  The device belongs to group '" + group + "': add yourself to the '" + group +
                    "' group (sudo usermod -aG " + group + " $USER) and log in again.\n";
        }
        else if (error == EBUSY)
            text += "  Another program holds it for itself; close that program and try again.\n";
        return text;
    }
    const bool terminal = isatty(fd);
    close(fd);
    if (!terminal)
        return head + "not a terminal device\n  Name a serial port; 'kestrune-update --list-ports' lists them.\n";
    // Opened now, so the port was held a moment ago: most likely by another
    // copy of this updater, whose lock the system does not name.
    return head + "in use by another program (it holds the port's lock)\n  Close it and try again.\n";
}
