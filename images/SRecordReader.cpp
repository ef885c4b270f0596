#include "SRecordReader.h"

#include <cstring>

namespace {

constexpr char kCarriageReturn = '\r';
constexpr uint8_t kMaxCount = 43;
constexpr uint8_t kMinCount = 3; // two address bytes and the checksum

uint8_t HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<uint8_t>(c - 'A' + 10);
    return 0;
}

} // namespace

uint8_t CSRecordReader::ReadHexByte(const char*& cursor)
{
    const uint8_t high = HexValue(cursor[0]);
    const uint8_t low = HexValue(cursor[1]);
    cursor += 2;
    return static_cast<uint8_t>(16 * high + low);
}

RecordOutcome CSRecordReader::ReadRecord(const char* line, uint32_t lineLength, uint16_t& address, uint8_t& dataLength,
                                         uint8_t* data)
{
    if (lineLength == 0)
        return RecordOtherType;
    if (line[0] == '9')
        return RecordEnd;
    if (line[0] != '1')
        return RecordOtherType;

    // Digits stand between the type character and the carriage return.
    const uint32_t digits = lineLength >= 2 ? lineLength - 2 : 0;
    if (digits < 2)
        return RecordBadCount;
    const char* cursor = line + 1;
    const uint8_t count = ReadHexByte(cursor);
    if (count < kMinCount || count > kMaxCount || 2u * (1u + count) > digits)
        return RecordBadCount;

    const uint8_t addressHigh = ReadHexByte(cursor);
    const uint8_t addressLow = ReadHexByte(cursor);
    address = static_cast<uint16_t>(256 * addressHigh + addressLow);
    dataLength = static_cast<uint8_t>(count - 3);
    uint32_t sum = count + addressHigh + addressLow;
    for (uint8_t i = 0; i < dataLength; ++i) {
        data[i] = ReadHexByte(cursor);
        sum += data[i];
    }
    const uint8_t checksum = ReadHexByte(cursor);
    return checksum == static_cast<uint8_t>(255 - (sum & 0xFF)) ? RecordData : RecordBadChecksum;
}

ImageEnd CSRecordReader::ReadImage(const char* text, uint32_t length, uint8_t* destination, uint32_t base,
                                   uint32_t limit)
{
    uint32_t cursor = 0;
    for (;;) {
        // The first "S" within the next 82 characters starts a record.
        uint32_t start = cursor;
        const uint32_t searchEnd = cursor + kMaxLine < length ? cursor + kMaxLine : length;
        while (start < searchEnd && text[start] != 'S')
            ++start;
        if (start >= searchEnd)
            return ImageEnd::NoRecord;

        // The record line: up to 82 characters after the "S", through the
        // first carriage return.
        const uint32_t lineStart = start + 1;
        const uint32_t lineLimit = lineStart + kMaxLine < length ? lineStart + kMaxLine : length;
        uint32_t lineEnd = lineStart;
        while (lineEnd < lineLimit && text[lineEnd] != kCarriageReturn)
            ++lineEnd;
        if (lineEnd >= lineLimit)
            return ImageEnd::NoRecord;
        cursor = lineEnd + 1;

        char line[kMaxLine];
        const uint32_t lineLength = cursor - lineStart;
        std::memcpy(line, text + lineStart, lineLength);
        uint16_t address = 0;
        uint8_t dataLength = 0;
        uint8_t data[kMaxRecordData];
        switch (ReadRecord(line, lineLength, address, dataLength, data)) {
        case RecordData:
            if (address < base || uint32_t{address} + dataLength > limit)
                return ImageEnd::OutsideWindow;
            std::memcpy(destination + (address - base), data, dataLength);
            break;
        case RecordEnd: return ImageEnd::EndRecord;
        default: return ImageEnd::BadRecord;
        }
    }
}
