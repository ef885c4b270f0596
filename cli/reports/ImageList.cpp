#include "ImageList.h"

#include "ImageSummary.h"

#include <cstdio>

std::string FormatImageList()
{
    ImageSummary images[4];
    SummariseImages(images);
    std::string text = "Image        Id   Window           Bytes given  Pages to program  CRC-32 of window\n";
    for (const ImageSummary& summary : images) {
        const FirmwareImage& image = *summary.image;
        char line[128];
        if (!summary.bFound)
            std::snprintf(line, sizeof line, "%-12s %3u  missing from this program\n", image.typeName, image.id);
        else if (image.fill == 0xFF)
            std::snprintf(line, sizeof line, "%-12s %3u  0x%04X-0x%04X  %11u  %16u  %08X\n", image.typeName, image.id,
                          image.base, image.limit - 1, summary.bytesGiven, summary.pagesToSend, summary.crc32);
        else
            std::snprintf(line, sizeof line, "%-12s %3u  0x%04X-0x%04X  %11u  %16s  %08X\n", image.typeName, image.id,
                          image.base, image.limit - 1, summary.bytesGiven, "-", summary.crc32);
        text += line;
    }
    return text;
}
