#include "DeviceText.h"

std::string PrintableDeviceText(const uint8_t* bytes, size_t count)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text += static_cast<char>(byte);
        } else {
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 0x0F];
        }
    }
    return text;
}
