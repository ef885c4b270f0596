// libFuzzer target: the reader on arbitrary text must stay inside the text
// and inside its window, whatever the window.

#include "SRecordReader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes choose the window: one of the images' windows, or
    // (selector 3) one that the second byte places.
    static const uint32_t kWindows[3][2] = {{0x0000, 0x0100}, {0x6000, 0x8000}, {0x8000, 0x10000}};
    uint32_t base = uint32_t{data[1]} << 8;
    uint32_t limit = base + 0x100;
    if (data[0] % 4 < 3) {
        base = kWindows[data[0] % 4][0];
        limit = kWindows[data[0] % 4][1];
    }
    const char* text = reinterpret_cast<const char*>(data + 2);
    const auto length = static_cast<uint32_t>(size - 2);

    // Exactly as large as the window and the text, so that AddressSanitizer
    // catches any step outside either.
    std::vector<uint8_t> window(limit - base, 0xA5);
    std::vector<char> copy(text, text + length);
    CSRecordReader::ReadImage(copy.data(), length, window.data(), base, limit);

    const uint32_t lineLength = length < CSRecordReader::kMaxLine ? length : CSRecordReader::kMaxLine;
    if (lineLength > 0) {
        std::vector<char> line(copy.begin(), copy.begin() + lineLength);
        uint16_t address = 0;
        uint8_t dataLength = 0;
        uint8_t record[CSRecordReader::kMaxRecordData];
        if (CSRecordReader::ReadRecord(line.data(), lineLength, address, dataLength, record) ==
                RecordData &&
            dataLength > CSRecordReader::kMaxRecordData)
            std::abort();
    }
    return 0;
}
