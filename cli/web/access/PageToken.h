#pragma once
// The page's token: 128 bits from the system's own random source (getrandom
// on Linux, BCryptGenRandom on Windows), as 32 hex digits. Whoever holds it
// may use the page, so it is never made from a clock or a seeded generator.

#include <array>
#include <cstdint>
#include <string>

// False when the system gave no random bytes.
bool SystemRandomBytes(std::array<uint8_t, 16>& bytes);

// The token; empty when the system gave no random bytes.
inline std::string NewPageToken()
{
    std::array<uint8_t, 16> bytes{};
    if (!SystemRandomBytes(bytes))
        return "";
    static const char kHex[] = "0123456789abcdef";
    std::string token;
    for (const uint8_t byte : bytes) {
        token += kHex[byte >> 4];
        token += kHex[byte & 0xF];
    }
    return token;
}
