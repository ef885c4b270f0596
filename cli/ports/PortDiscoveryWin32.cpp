#include "PortList.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <cstdlib>
#include <cstring>
#include <setupapi.h>

namespace {

// GUID_DEVCLASS_PORTS: the device class of serial and parallel ports.
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// The USB serial number: the last part of the USB device's instance id
// (USB\VID_0403&PID_6001\A10K3XYZ). The port may be a child of that device
// (FTDIBUS\..., or an interface USB\VID_...&MI_00\...); for a device without
// a serial number Windows makes up an id with '&' in it.
std::string UsbSerialOf(DEVINST instance)
{
    for (int depth = 0; depth < 4; ++depth) {
        char id[MAX_DEVICE_ID_LEN] = {};
        if (CM_Get_Device_IDA(instance, id, sizeof id, 0) != CR_SUCCESS)
            return "";
        const std::string text = id;
        if (text.rfind("USB\\", 0) == 0 && text.find("&MI_") == std::string::npos) {
            const std::string last = text.substr(text.rfind('\\') + 1);
            return last.find('&') == std::string::npos ? last : "";
        }
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, instance, 0) != CR_SUCCESS)
            return "";
        instance = parent;
    }
    return "";
}

// The device's parameters key holds its port name and, for FTDI's driver,
// its latency timer in ms. Read only: nothing here changes a setting.
bool IsNamed(HKEY key, const std::string& path, uint32_t& latencyTimerMs)
{
    char name[64] = {};
    DWORD size = sizeof name - 1;
    if (RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size) != ERROR_SUCCESS ||
        path != name)
        return false;
    DWORD latency = 0, type = 0;
    size = sizeof latency;
    if (RegQueryValueExA(key, "LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&latency), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD)
        latencyTimerMs = latency;
    return true;
}

// Friendly name, driver, hardware ids, serial number and latency timer of
// the port with this name, from SetupAPI.
void Describe(PortInfo& port)
{
    HDEVINFO devices = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        const bool named = IsNamed(key, port.path, port.latencyTimerMs);
        RegCloseKey(key);
        if (!named)
            continue;
        char text[512] = {};
        if (SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                              reinterpret_cast<BYTE*>(text), sizeof text - 1, nullptr))
            port.description = text;
        if (SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_MFG, nullptr, reinterpret_cast<BYTE*>(text),
                                              sizeof text - 1, nullptr))
            port.manufacturer = text;
        std::memset(text, 0, sizeof text);
        if (SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_SERVICE, nullptr, reinterpret_cast<BYTE*>(text),
                                              sizeof text - 1, nullptr) &&
            text[0])
            port.driver = text; // FTDIBUS, usbser, CH341SER_A64, Ser2pl64 ...
        std::memset(text, 0, sizeof text);
        if (SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_HARDWAREID, nullptr,
                                              reinterpret_cast<BYTE*>(text), sizeof text - 1, nullptr)) {
            // USB\VID_0403&PID_6001..., FTDIBUS\COMPORT&VID_0403&PID_6001
            const char* vid = std::strstr(text, "VID_");
            const char* pid = std::strstr(text, "PID_");
            if (vid && pid) {
                port.bUsb = true;
                port.vid = static_cast<uint16_t>(std::strtoul(vid + 4, nullptr, 16));
                port.pid = static_cast<uint16_t>(std::strtoul(pid + 4, nullptr, 16));
                port.serial = UsbSerialOf(device.DevInst);
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
