// The S-record reader on hand-made text, and on the carried images as
// srec_cat reads the same files.

#include "SRecordReader.h"
#include "FirmwareImages.h"
#include "SRecordText.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct ReadCase {
    const char* name;
    std::string text;
    ImageEnd end;
    std::vector<std::pair<uint32_t, Bytes>> placed; // window offset, bytes; the rest keeps the fill
    uint32_t length = UINT32_MAX;                   // how much of the text the reader is given
};

// The window is 0x1000-0x10FF.
TEST(SRecordReader, ReadsRecordsIntoTheWindowUntilOneEndsTheImage)
{
    const std::string kEnd = kS9;
    const std::string twoRecords = S1(0x1000, {1}) + S1(0x1001, {2}) + kEnd;
    const ReadCase cases[] = {
        {"records go to their addresses; nothing after S9 counts",
         S1(0x1000, {1, 2, 3}) + S1(0x1010, {4}) + kEnd + S1(0x1020, {5}),
         ImageEnd::EndRecord,
         {{0, {1, 2, 3}}, {0x10, {4}}}},
        {"the end record is not examined",
         S1(0x1000, {7}) + "S9zzzzzzzz\r\n" + S1(0x1001, {8}),
         ImageEnd::EndRecord,
         {{0, {7}}}},
        {"an S0 record ends the image", "S00600004844521B\r\n" + twoRecords, ImageEnd::BadRecord, {}},
        {"an S2 record ends the image",
         S1(0x1000, {1}) + "S2080010000102030405E4\r\n" + S1(0x1001, {2}),
         ImageEnd::BadRecord,
         {{0, {1}}}},
        {"lower-case digits read as 0", "S1041000abEB\r\n" + kEnd, ImageEnd::EndRecord, {{0, {0}}}},
        {"so their true value fails the checksum", "S1041000ABEB\r\n" + kEnd, ImageEnd::BadRecord, {}},
        {"a line needs a carriage return", "S104100001EA\nS104100102E8\n", ImageEnd::NoRecord, {}},
        {"the longest record: count 39",
         S1(0x1000, Bytes(36, 0x5A)) + kEnd,
         ImageEnd::EndRecord,
         {{0, Bytes(36, 0x5A)}}},
        {"count 40 and more: longer than a line",
         S1(0x1000, {1}) + S1(0x1001, Bytes(37, 0x33)) + kEnd,
         ImageEnd::NoRecord,
         {{0, {1}}}},
        {"81 characters of other text before a record",
         std::string(81, '#') + S1(0x1000, {9}) + kEnd,
         ImageEnd::EndRecord,
         {{0, {9}}}},
        {"82 characters of other text end the image",
         S1(0x1000, {9}) + std::string(82, '#') + twoRecords,
         ImageEnd::NoRecord,
         {{0, {9}}}},
        {"count 2 and less", S1(0x1000, {1}) + "S1021000ED\r\n" + twoRecords, ImageEnd::BadRecord, {{0, {1}}}},
        {"count 44 and more", S1(0x1000, {1}) + "S12C1000C3\r\n" + twoRecords, ImageEnd::BadRecord, {{0, {1}}}},
        {"a count beyond the line", S1(0x1000, {1}) + "S1131000\r\n" + twoRecords, ImageEnd::BadRecord, {{0, {1}}}},
        {"count 3: no data, and reading goes on",
         S1(0x1000, {}) + S1(0x1001, {2}) + kEnd,
         ImageEnd::EndRecord,
         {{1, {2}}}},
        {"a record that ends the window", S1(0x10FE, {1, 2}) + kEnd, ImageEnd::EndRecord, {{0xFE, {1, 2}}}},
        {"a record past the window's end: none of it placed",
         S1(0x1000, {1}) + S1(0x10FF, {1, 2}) + S1(0x1002, {3}) + kEnd,
         ImageEnd::OutsideWindow,
         {{0, {1}}}},
        {"a record before the window", S1(0x0FFF, {1, 2}) + kEnd, ImageEnd::OutsideWindow, {}},
        {"other characters before the line end are ignored; later records win",
         S1(0x1000, {1, 1}).insert(14, "  ; note") + S1(0x1001, {2}) + kEnd,
         ImageEnd::EndRecord,
         {{0, {1, 2}}}},
        {"a carriage return beyond the length is not seen", twoRecords, ImageEnd::NoRecord, {{0, {1}}}, 26},
        {"no text", twoRecords, ImageEnd::NoRecord, {}, 0},
    };
    for (const ReadCase& c : cases) {
        Bytes expected(0x100, 0xEE);
        for (const auto& [offset, bytes] : c.placed)
            std::copy(bytes.begin(), bytes.end(), expected.begin() + offset);
        Bytes window(0x100, 0xEE);
        const auto length = std::min(c.length, static_cast<uint32_t>(c.text.size()));
        EXPECT_EQ(CSRecordReader::ReadImage(c.text.data(), length, window.data(), 0x1000, 0x1100), c.end) << c.name;
        EXPECT_EQ(window, expected) << c.name;
    }
}

TEST(SRecordReader, ReadsTheCarriedImagesAsSrecCatDoes)
{
    if (std::system("command -v srec_cat > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "srec_cat (package srecord) is not installed";
    const std::pair<const FirmwareImage*, const char*> files[] = {{&kBootOneImage, "bootone.s19"},
                                                                  {&kBootTwoImage, "boottwo.s19"},
                                                                  {&kXilinxDataImage, "xilinxdata.s19"},
                                                                  {&kApplicationImage, "application.s19"}};
    for (const auto& [image, file] : files) {
        const std::string out = ::testing::TempDir() + "/" + file + ".bin";
        char command[1024];
        std::snprintf(command, sizeof command, "srec_cat '%s/%s' -fill 0x%02X 0x%X 0x%X -offset -0x%X -o '%s' -binary",
                      KZ_RES_DIR, file, image->fill, image->base, image->limit, image->base, out.c_str());
        ASSERT_EQ(std::system(command), 0) << command;
        std::ifstream in(out, std::ios::binary);
        const Bytes expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

        ImageText text{};
        ASSERT_TRUE(FindImageText(ImageSource{}, image->typeName, image->id, text)) << file;
        Bytes window(image->limit - image->base, image->fill);
        EXPECT_EQ(CSRecordReader::ReadImage(text.text, text.length, window.data(), image->base, image->limit),
                  ImageEnd::EndRecord);
        EXPECT_EQ(window, expected) << file;
        EXPECT_FALSE(FindImageText(ImageSource{}, image->typeName, static_cast<uint16_t>(image->id + 10), text));
    }
}

} // namespace
