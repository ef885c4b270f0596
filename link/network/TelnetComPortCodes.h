#pragma once
// The Telnet and COM-PORT-OPTION codes that both halves of the codec use.

#include <cstdint>

constexpr uint8_t kIac = 255;
constexpr uint8_t kDont = 254;
constexpr uint8_t kDo = 253;
constexpr uint8_t kWont = 252;
constexpr uint8_t kWill = 251;
constexpr uint8_t kSb = 250;
constexpr uint8_t kSe = 240;

constexpr uint8_t kBinary = 0;
constexpr uint8_t kSuppressGoAhead = 3;
constexpr uint8_t kComPortOption = 44;
constexpr uint8_t kSlotOptions[3] = {kBinary, kSuppressGoAhead, kComPortOption};

// COM-PORT-OPTION commands; the server answers each with the command + 100.
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kSetDataSize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopSize = 4;
constexpr uint8_t kPurgeData = 12;
constexpr uint8_t kServerReply = 100;
constexpr uint8_t kPurgeReceiveBuffer = 1; // what the server holds from the device
