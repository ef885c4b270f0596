// libFuzzer target: the reader on arbitrary text must stay inside the text
// and inside its window, for each of the images' windows and one that
// straddles a boundary between them.

#include "SRecordReader.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const uint32_t kWindows[][2] = {{0x0000, 0x0100}, {0x6000, 0x8000}, {0x8000, 0x10000}, {0x7FF0, 0x8010}};
    // Exactly as large as the text and each window, so that AddressSanitizer
    // catches any step outside either.
    const std::vector<char> text(data, data + size);
    const auto length = static_cast<uint32_t>(size);
    for (const auto& [base, limit] : kWindows) {
        std::vector<uint8_t> window(limit - base, 0xA5);
        CSRecordReader::ReadImage(text.data(), length, window.data(), base, limit);
    }
    const uint32_t lineLength = length < CSRecordReader::kMaxLine ? length : CSRecordReader::kMaxLine;
    if (lineLength > 0) {
        const std::vector<char> line(text.begin(), text.begin() + lineLength);
        uint16_t address = 0;
        uint8_t dataLength = 0;
        uint8_t record[CSRecordReader::kMaxRecordData];
        if (CSRecordReader::ReadRecord(line.data(), lineLength, address, dataLength, record) == RecordData &&
            dataLength > CSRecordReader::kMaxRecordData)
            std::abort();
    }
    return 0;
}
