#pragma once
// What the simulated Kestrune expects of the firmware it runs. The synthetic
// development images carry an integrity word inside their window; the
// simulated device runs a program only when that word matches, just as
// damaged code would not run on the real one.

#include <cstdint>

struct FirmwareLayout {
    uint32_t base;             // first device address of the window
    uint32_t size;             // window length in bytes
    uint16_t integrityAddress; // big-endian CRC-16 of the rest of the window
};

constexpr FirmwareLayout kPrimaryLoaderLayout{0x0000, 0x0100, 0x00DC};
constexpr FirmwareLayout kSecondaryLoaderLayout{0x6000, 0x2000, 0x79B6};
constexpr FirmwareLayout kFpgaLayout{0x8000, 0x8000, 0xD077};
constexpr FirmwareLayout kApplicationLayout{0x8000, 0x8000, 0x800A};

// The application keeps its 10-byte version reply at the start of its bank.
constexpr uint16_t kVersionFrameAddress = 0x8000;
constexpr uint32_t kVersionFrameLength = 10;

// The controller's EEPROM hides these flash addresses; never part of a check.
constexpr uint16_t kEepromFirst = 0xB600;
constexpr uint16_t kEepromLast = 0xB7FF;

// CRC-16/CCITT-FALSE of the window, leaving out the integrity word itself and
// any EEPROM addresses inside the window.
uint16_t IntegrityWord(const uint8_t* window, const FirmwareLayout& layout);
void StoreIntegrityWord(uint8_t* window, const FirmwareLayout& layout);
bool IsIntact(const uint8_t* window, const FirmwareLayout& layout);
