#include "ImageSummary.h"

#include "DeviceLink.h"

#include <vector>

namespace {

constexpr const FirmwareImage* kImages[] = {&kBootOneImage, &kBootTwoImage, &kXilinxDataImage, &kApplicationImage};

} // namespace

uint32_t Crc32(const uint8_t* data, uint32_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

uint32_t FlashPagesToSend(const FirmwareImage& image)
{
    CDeviceLink link; // staging needs no port
    return link.StageImage(image) ? link.PagesToSend() : 0;
}

void SummariseImages(ImageSummary (&summaries)[4])
{
    CDeviceLink link; // staging needs no port
    std::vector<uint8_t> overZeros;
    for (int i = 0; i < 4; ++i) {
        const FirmwareImage& image = *kImages[i];
        ImageSummary& summary = summaries[i];
        summary = ImageSummary{&image, false, 0, 0, 0};
        const uint32_t size = image.limit - image.base;
        // A byte is given where the window differs from the fill under one
        // fill or the other.
        FirmwareImage refilled = image;
        refilled.fill = 0x00;
        if (!link.StageImage(refilled))
            continue;
        overZeros.assign(link.StagedImage(), link.StagedImage() + size);
        refilled.fill = 0xFF;
        link.StageImage(refilled);
        for (uint32_t k = 0; k < size; ++k)
            summary.bytesGiven += (overZeros[k] != 0x00 || link.StagedImage()[k] != 0xFF) ? 1 : 0;

        link.StageImage(image);
        summary.bFound = true;
        summary.crc32 = Crc32(link.StagedImage(), size);
        if (image.fill == 0xFF)
            summary.pagesToSend = link.PagesToSend();
    }
}
