#include "PortList.h"

#include <libserialport.h>

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <unistd.h>

namespace {

std::string Text(const char* text) { return text ? text : ""; }

// The kernel driver behind a tty, from where its device links in sysfs.
std::string DriverOf(const std::string& path)
{
    const std::string name = path.substr(path.rfind('/') + 1);
    char target[PATH_MAX];
    const ssize_t length = readlink(("/sys/class/tty/" + name + "/device/driver").c_str(), target, sizeof target - 1);
    if (length <= 0)
        return "";
    target[length] = '\0';
    const std::string driver = target;
    return driver.substr(driver.rfind('/') + 1);
}

// The /dev/serial/by-id link that leads to the device, which stays the same
// whichever order adapters are plugged in.
std::string StableNameOf(const std::string& path)
{
    const std::string folder = "/dev/serial/by-id";
    std::string found;
    DIR* links = opendir(folder.c_str());
    if (!links)
        return found;
    char device[PATH_MAX], target[PATH_MAX];
    if (!realpath(path.c_str(), device))
        device[0] = '\0';
    while (const dirent* entry = readdir(links)) {
        const std::string link = folder + "/" + entry->d_name;
        if (entry->d_name[0] != '.' && realpath(link.c_str(), target) && std::string(target) == device)
            found = link;
    }
    closedir(links);
    return found;
}

} // namespace

std::vector<PortInfo> DiscoverPorts()
{
    std::vector<PortInfo> ports;
    sp_port** list = nullptr;
    if (sp_list_ports(&list) != SP_OK)
        return ports;
    for (sp_port** each = list; *each; ++each) {
        PortInfo port;
        port.path = Text(sp_get_port_name(*each));
        port.description = Text(sp_get_port_description(*each));
        port.driver = DriverOf(port.path);
        port.stableName = StableNameOf(port.path);
        if (sp_get_port_transport(*each) == SP_TRANSPORT_USB) {
            int vid = 0, pid = 0;
            port.bUsb = sp_get_port_usb_vid_pid(*each, &vid, &pid) == SP_OK;
            port.vid = static_cast<uint16_t>(vid);
            port.pid = static_cast<uint16_t>(pid);
            port.manufacturer = Text(sp_get_port_usb_manufacturer(*each));
            port.product = Text(sp_get_port_usb_product(*each));
            port.serial = Text(sp_get_port_usb_serial(*each));
        }
        ports.push_back(port);
    }
    sp_free_port_list(list);
    return ports;
}
