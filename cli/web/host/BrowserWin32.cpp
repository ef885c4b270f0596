// The browser on Windows: the address opened as Explorer would open it.

#include "PageHost.h"

#include <windows.h>

#include <shellapi.h>

bool OpenInBrowser(const std::string& address, std::string& error)
{
    const auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result > 32)
        return true;
    error = "Windows could not open a browser (ShellExecute: " + std::to_string(result) + ")";
    return false;
}
