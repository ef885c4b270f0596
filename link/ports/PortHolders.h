#pragma once
// Which other programs have a serial device open, as fuser finds them:
// through the open files each process lists under /proc. A user sees only
// the processes the system lets it look into; root sees all.

#include <string>
#include <vector>

struct PortHolder {
    int pid;
    std::string command;
    bool ourChild = false; // started by this process, as a hook is
};

// Other processes holding the device at path open. The program on the other
// end of a pseudo-terminal (the one holding its master) is the device's peer,
// not a rival, and is not counted; nor is this process.
std::vector<PortHolder> OtherHoldersOf(const std::string& path);
