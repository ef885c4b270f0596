// The S-record reader on hand-made text.

#include "SRecordReader.h"
#include "SRecordText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string kEnd = kS9;

struct Read {
    std::vector<uint8_t> buffer;
    ImageEnd end;
};

Read ReadText(const std::string& text, uint32_t base = 0x1000, uint32_t limit = 0x1100)
{
    Read result{std::vector<uint8_t>(limit - base, 0xEE), ImageEnd::NoRecord};
    result.end = CSRecordReader::ReadImage(text.data(), static_cast<uint32_t>(text.size()),
                                           result.buffer.data(), base, limit);
    return result;
}

bool Untouched(const Read& read)
{
    for (uint8_t byte : read.buffer)
        if (byte != 0xEE)
            return false;
    return true;
}

TEST(SRecordReader, HexDigitsAreUpperCaseOnly)
{
    const char* text = "A5fF9G";
    const char* cursor = text;
    EXPECT_EQ(CSRecordReader::ReadHexByte(cursor), 0xA5);
    EXPECT_EQ(CSRecordReader::ReadHexByte(cursor), 0x0F); // 'f' counts as 0
    EXPECT_EQ(CSRecordReader::ReadHexByte(cursor), 0x90); // 'G' counts as 0
    EXPECT_EQ(cursor, text + 6);
}

TEST(SRecordReader, PlacesRecordsAtTheirAddressesUntilTheEnd)
{
    const Read read = ReadText(S1(0x1000, {1, 2, 3}) + S1(0x1010, {4}) + kEnd + S1(0x1020, {5}));
    EXPECT_EQ(read.end, ImageEnd::EndRecord);
    EXPECT_EQ(read.buffer[0], 1);
    EXPECT_EQ(read.buffer[2], 3);
    EXPECT_EQ(read.buffer[3], 0xEE); // keeps the fill
    EXPECT_EQ(read.buffer[0x10], 4);
    EXPECT_EQ(read.buffer[0x20], 0xEE); // after S9: ignored
}

TEST(SRecordReader, EndRecordIsNotExamined)
{
    const Read read = ReadText(S1(0x1000, {7}) + "S9zzzzzzzz\r\n" + S1(0x1001, {8}));
    EXPECT_EQ(read.end, ImageEnd::EndRecord);
    EXPECT_EQ(read.buffer[0], 7);
    EXPECT_EQ(read.buffer[1], 0xEE);
}

TEST(SRecordReader, OtherRecordTypesEndTheImage)
{
    EXPECT_TRUE(Untouched(ReadText("S00600004844521B\r\n" + S1(0x1000, {1}) + kEnd)));
    const Read read = ReadText(S1(0x1000, {1}) + "S2080010000102030405E4\r\n" + S1(0x1001, {2}));
    EXPECT_EQ(read.end, ImageEnd::BadRecord);
    EXPECT_EQ(read.buffer[0], 1);
    EXPECT_EQ(read.buffer[1], 0xEE);
}

TEST(SRecordReader, LowerCaseDigitsReadAsZeroAndAreJudgedByTheChecksum)
{
    // "S1041000ab" + checksum: 'a' and 'b' read as 0, so the data byte is 0x00.
    const uint8_t checksum = static_cast<uint8_t>(~(0x04 + 0x10 + 0x00 + 0x00));
    char line[32];
    std::snprintf(line, sizeof line, "S1041000ab%02X\r\n", checksum);
    Read read = ReadText(line + kEnd);
    EXPECT_EQ(read.end, ImageEnd::EndRecord);
    EXPECT_EQ(read.buffer[0], 0x00);

    read = ReadText("S1041000AB" + std::string(line + 10)); // the true value fails that checksum
    EXPECT_EQ(read.end, ImageEnd::BadRecord);
    EXPECT_TRUE(Untouched(read));
}

TEST(SRecordReader, LinesNeedACarriageReturn)
{
    std::string text = S1(0x1000, {1}) + S1(0x1001, {2});
    for (size_t at; (at = text.find('\r')) != std::string::npos;)
        text.erase(at, 1);
    const Read read = ReadText(text);
    EXPECT_EQ(read.end, ImageEnd::NoRecord);
    EXPECT_TRUE(Untouched(read));
}

TEST(SRecordReader, LongestRecordFitsAndLongerOnesEndTheImage)
{
    const std::vector<uint8_t> longest(36, 0x5A); // count 39: 81 characters after "S"
    Read read = ReadText(S1(0x1000, longest) + kEnd);
    EXPECT_EQ(read.end, ImageEnd::EndRecord);
    EXPECT_EQ(read.buffer[35], 0x5A);

    for (size_t length : {37u, 40u}) { // counts 40 and 43 pass the count test only
        read = ReadText(S1(0x1000, {1}) + S1(0x1001, std::vector<uint8_t>(length, 0x33)) + kEnd);
        EXPECT_EQ(read.end, ImageEnd::NoRecord) << length;
        EXPECT_EQ(read.buffer[0], 1);
        EXPECT_EQ(read.buffer[1], 0xEE);
    }
}

TEST(SRecordReader, OtherTextBeforeARecordMayBeUpTo81Characters)
{
    Read read = ReadText(std::string(81, '#') + S1(0x1000, {9}) + kEnd);
    EXPECT_EQ(read.buffer[0], 9);
    read = ReadText(S1(0x1000, {9}) + std::string(82, '#') + S1(0x1001, {8}) + kEnd);
    EXPECT_EQ(read.end, ImageEnd::NoRecord);
    EXPECT_EQ(read.buffer[1], 0xEE);
}

TEST(SRecordReader, CountsOutsideTheirRangeEndTheImage)
{
    for (const char* bad : {"S1001000EF\r\n", "S12C1000C3\r\n", "S1FF1000F0\r\n", "S1011000EE\r\n",
                            "S1021000ED\r\n", "S1131000\r\n"}) {
        const Read read = ReadText(S1(0x1000, {1}) + bad + S1(0x1001, {2}) + kEnd);
        EXPECT_EQ(read.end, ImageEnd::BadRecord) << bad;
        EXPECT_EQ(read.buffer[1], 0xEE) << bad;
    }
    // A count of 3 carries no data and reading goes on.
    const Read read = ReadText(S1(0x1000, {}) + S1(0x1001, {2}) + kEnd);
    EXPECT_EQ(read.end, ImageEnd::EndRecord);
    EXPECT_EQ(read.buffer[1], 2);
}

TEST(SRecordReader, RecordsMustLieWhollyInsideTheWindow)
{
    Read read = ReadText(S1(0x10FE, {1, 2}) + kEnd);
    EXPECT_EQ(read.end, ImageEnd::EndRecord);
    EXPECT_EQ(read.buffer[0xFF], 2);

    read = ReadText(S1(0x1000, {1}) + S1(0x10FF, {1, 2}) + S1(0x1002, {3}) + kEnd);
    EXPECT_EQ(read.end, ImageEnd::OutsideWindow);
    EXPECT_EQ(read.buffer[0xFF], 0xEE); // nothing of it placed
    EXPECT_EQ(read.buffer[2], 0xEE);

    read = ReadText(S1(0x0FFF, {1, 2}) + kEnd);
    EXPECT_EQ(read.end, ImageEnd::OutsideWindow);
    EXPECT_TRUE(Untouched(read));
}

TEST(SRecordReader, ExtraCharactersBeforeTheLineEndAreIgnoredAndLaterRecordsWin)
{
    std::string first = S1(0x1000, {1, 1});
    first.insert(first.size() - 2, "  ; note");
    const Read read = ReadText(first + S1(0x1001, {2}) + kEnd);
    EXPECT_EQ(read.end, ImageEnd::EndRecord);
    EXPECT_EQ(read.buffer[0], 1);
    EXPECT_EQ(read.buffer[1], 2);
}

TEST(SRecordReader, NeverLooksPastTheTextLength)
{
    const std::string whole = S1(0x1000, {1}) + S1(0x1001, {2}) + kEnd;
    // Cut inside the second record: its carriage return is beyond the length.
    std::vector<uint8_t> buffer(0x100, 0xEE);
    const auto cut = static_cast<uint32_t>(whole.find('\r', 14));
    EXPECT_EQ(CSRecordReader::ReadImage(whole.data(), cut, buffer.data(), 0x1000, 0x1100),
              ImageEnd::NoRecord);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[1], 0xEE);
    EXPECT_EQ(CSRecordReader::ReadImage(whole.data(), 0, buffer.data(), 0x1000, 0x1100),
              ImageEnd::NoRecord);
}

} // namespace
