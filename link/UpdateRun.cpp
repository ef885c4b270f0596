#include "UpdateRun.h"

#include "DeviceText.h"

#include <cstring>

int RunUpdateStages(CDeviceLink& link)
{
    if (!link.LoadPrimaryBootstrap())
        return 1;
    if (!link.LoadSecondaryBootstrap())
        return 2;
    if (!link.LoadFpgaImage())
        return 3;
    if (!link.LoadApplication())
        return 4;
    return 0;
}

std::optional<std::string> QueryDeviceVersion(CDeviceLink& link)
{
    link.SetLineMode(kRunLine); // the query goes ahead whatever the port said
    uint8_t reply[10] = {};
    if (!link.QueryVersion(reply))
        return std::nullopt;
    reply[8] = 0;
    const char* text = reinterpret_cast<const char*>(reply + 3);
    return PrintableDeviceText(reply + 3, strnlen(text, 5));
}
