#pragma once
// What the updater carries, image by image, for people who must confirm
// which firmware a build holds.

#include "FirmwareImages.h"

#include <cstdint>

struct ImageSummary {
    const FirmwareImage* image;
    bool bFound;
    uint32_t bytesGiven;  // bytes its records place inside the window
    uint32_t pagesToSend; // flash pages programmed (flash images only)
    uint32_t crc32;       // CRC-32 of the staged window, fill bytes included
};

// Stages each of the four images in turn (the staging buffer is used).
void SummariseImages(ImageSummary (&summaries)[4]);
// Stages a flash image and counts the pages its stage sends; 0 if missing.
uint32_t FlashPagesToSend(const FirmwareImage& image);

uint32_t Crc32(const uint8_t* data, uint32_t length);
