#include "PortList.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <setupapi.h>

namespace {

// GUID_DEVCLASS_PORTS: the device class of serial and parallel ports.
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// Friendly name and hardware id of the port with this name, from SetupAPI.
void Describe(PortInfo& port)
{
    HDEVINFO devices = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        char name[64] = {};
        HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        DWORD size = sizeof name - 1;
        const bool named =
            RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS;
        RegCloseKey(key);
        if (!named || port.path != name)
            continue;
        char text[512] = {};
        if (SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                              reinterpret_cast<BYTE*>(text), sizeof text - 1, nullptr))
            port.description = text;
        if (SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_MFG, nullptr, reinterpret_cast<BYTE*>(text),
                                              sizeof text - 1, nullptr))
            port.manufacturer = text;
        if (SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_HARDWAREID, nullptr,
                                              reinterpret_cast<BYTE*>(text), sizeof text - 1, nullptr)) {
            // USB\VID_0403&PID_6001...
            const char* vid = std::strstr(text, "VID_");
            const char* pid = std::strstr(text, "PID_");
            if (vid && pid) {
                port.bUsb = true;
                port.vid = static_cast<uint16_t>(std::strtoul(vid + 4, nullptr, 16));
                port.pid = static_cast<uint16_t>(std::strtoul(pid + 4, nullptr, 16));
            }
        }
    }
    SetupDiDestroyDeviceInfoList(devices);
}

} // namespace

std::vector<PortInfo> DiscoverPorts()
{
    std::vector<PortInfo> ports;
    HKEY map;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &map) != ERROR_SUCCESS)
        return ports;
    for (DWORD i = 0;; ++i) {
        char device[256], name[64];
        DWORD deviceSize = sizeof device, nameSize = sizeof name - 1, type = 0;
        if (RegEnumValueA(map, i, device, &deviceSize, nullptr, &type, reinterpret_cast<BYTE*>(name), &nameSize) !=
            ERROR_SUCCESS)
            break;
        name[nameSize] = '\0';
        PortInfo port;
        port.path = name;
        port.driver = device; // \Device\Serial0, \Device\VCP0 ...
        Describe(port);
        ports.push_back(port);
    }
    RegCloseKey(map);
    return ports;
}
