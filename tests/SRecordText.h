#pragma once
// S-record text written by hand for the tests, independent of the image
// generator, so that the reader is not tested against its own side's text.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// An S1 line with a correct checksum (unless told otherwise), ended by CR LF.
inline std::string S1(uint16_t address, const std::vector<uint8_t>& data, int checksumDelta = 0)
{
    char hex[3];
    std::string line = "S1";
    uint32_t sum = 0;
    auto put = [&](uint8_t byte) {
        std::snprintf(hex, sizeof hex, "%02X", byte);
        line += hex;
        sum += byte;
    };
    put(static_cast<uint8_t>(data.size() + 3));
    put(static_cast<uint8_t>(address >> 8));
    put(static_cast<uint8_t>(address));
    for (uint8_t byte : data)
        put(byte);
    std::snprintf(hex, sizeof hex, "%02X", static_cast<uint8_t>(~sum + checksumDelta));
    return line + hex + "\r\n";
}

constexpr const char* kS9 = "S9030000FC\r\n";
