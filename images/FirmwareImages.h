#pragma once
// The four firmware images the updater carries, and how a stage finds one.

#include "ImageIds.h"

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
using ModuleHandle = HMODULE;
#else
using ModuleHandle = void*;
#endif

struct FirmwareImage {
    const char* typeName;
    uint16_t id;
    uint32_t base;  // window start (device address)
    uint32_t limit; // window end, exclusive
    uint8_t fill;   // value of the bytes no record gives
};

constexpr FirmwareImage kBootOneImage{"BOOTONE", IDR_BOOTONE, 0x0000, 0x0100, 0x00};
constexpr FirmwareImage kBootTwoImage{"BOOTTWO", IDR_BOOTTWO, 0x6000, 0x8000, 0x00};
constexpr FirmwareImage kXilinxDataImage{"XILINXDATA", IDR_XILINXDATA, 0x8000, 0x10000, 0xFF};
constexpr FirmwareImage kApplicationImage{"APPLICATION", IDR_APPLICATION, 0x8000, 0x10000, 0xFF};

// An image's text held in memory, by type name and identifier.
struct EmbeddedImage {
    const char* typeName;
    uint16_t id;
    const char* text;
    uint32_t length;
};

struct ImageCatalog {
    const EmbeddedImage* images;
    uint32_t count;
};

// Where the images are found. Without a catalog, the ones this program
// carries: the resources of module on Windows (null: the executable that
// started the process), the table compiled in on POSIX. A catalog takes
// their place (a program that carries other images, or fewer).
struct ImageSource {
    ModuleHandle module = nullptr;
    ImageCatalog catalog{nullptr, 0};
};

struct ImageText {
    const char* text;
    uint32_t length;
};

// Yields the text of the image with this type name and identifier, read in
// place; false when the image is missing.
bool FindImageText(const ImageSource& source, const char* typeName, uint16_t id, ImageText& image);
