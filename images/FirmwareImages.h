#pragma once
// The four firmware images the updater carries, and how a stage finds one.

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
using ModuleHandle = HMODULE;
#else
using ModuleHandle = void*;
#endif

// The module under which the images are looked up; null means the
// executable that started the process.
extern ModuleHandle g_hInstance;

struct FirmwareImage {
    const char* typeName;
    uint16_t id;
    uint32_t base;  // window start (device address)
    uint32_t limit; // window end, exclusive
    uint8_t fill;   // value of the bytes no record gives
};

constexpr FirmwareImage kBootOneImage{"BOOTONE", 129, 0x0000, 0x0100, 0x00};
constexpr FirmwareImage kBootTwoImage{"BOOTTWO", 130, 0x6000, 0x8000, 0x00};
constexpr FirmwareImage kXilinxDataImage{"XILINXDATA", 131, 0x8000, 0x10000, 0xFF};
constexpr FirmwareImage kApplicationImage{"APPLICATION", 132, 0x8000, 0x10000, 0xFF};

struct ImageText {
    const char* text;
    uint32_t length;
};

// Yields the text of the image with this type name and identifier, read in
// place; false when the image is missing.
bool FindImageText(const char* typeName, uint16_t id, ImageText& image);
