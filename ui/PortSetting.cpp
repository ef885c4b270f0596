#include "PortSetting.h"

#include <windows.h>

namespace {

constexpr const char* kKeyPath = "Software\\Orvenda\\Kestrune Zeruzuz";
constexpr const char* kValueName = "Kestrune Zeruzuz Comm Port";
constexpr char kKeyClass[] = "DWORD";

} // namespace

uint32_t ReadRememberedPort()
{
    uint32_t port = 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        // A value longer than four bytes fails the query; keep the default
        // then rather than whatever the buffer was left holding.
        uint32_t stored = 1;
        DWORD size = sizeof stored;
        if (RegQueryValueExA(key, kValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&stored), &size) ==
            ERROR_SUCCESS)
            port = stored;
        RegCloseKey(key);
    }
    return port;
}

void StoreRememberedPort(uint32_t port)
{
    HKEY key = nullptr;
    char keyClass[sizeof kKeyClass];
    lstrcpyA(keyClass, kKeyClass);
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, keyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, kValueName, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&port), sizeof port);
    RegCloseKey(key);
}
