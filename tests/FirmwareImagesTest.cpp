// The embedded images: found by type name and identifier, of the shape the
// device's firmware has, and read by the reader exactly as srec_cat reads
// the same files.

#include "FirmwareImages.h"
#include "SRecordReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

const FirmwareImage* const kAll[] = {&kBootOneImage, &kBootTwoImage, &kXilinxDataImage,
                                     &kApplicationImage};

struct Shape {
    uint32_t size;
    uint32_t lines;
    std::map<uint32_t, uint32_t> recordsByLength;
    uint32_t longestLine;
    uint32_t bytesGiven;
    uint32_t firstAddress;
    uint32_t lastAddress;
};

// Measures an image with a plain parser of its own, trusting nothing.
Shape Measure(const ImageText& image)
{
    Shape shape{image.length, 0, {}, 0, 0, 0xFFFFFFFF, 0};
    const std::string text(image.text, image.length);
    size_t at = 0;
    uint32_t nextAddress = 0;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos)
            break;
        const std::string line = text.substr(at, end - at);
        at = end + 2;
        ++shape.lines;
        shape.longestLine = std::max<uint32_t>(shape.longestLine, static_cast<uint32_t>(line.size()));
        EXPECT_EQ(line.find_first_not_of("S0123456789ABCDEF"), std::string::npos) << line;
        if (line.rfind("S9", 0) == 0) {
            EXPECT_EQ(at, text.size()) << "S9 is the last line";
            continue;
        }
        EXPECT_EQ(line.substr(0, 2), "S1");
        const uint32_t count = std::stoul(line.substr(2, 2), nullptr, 16);
        const uint32_t address = std::stoul(line.substr(4, 4), nullptr, 16);
        EXPECT_EQ(line.size(), 4 + 2 * count);
        uint32_t sum = 0;
        for (size_t i = 2; i + 2 < line.size(); i += 2)
            sum += std::stoul(line.substr(i, 2), nullptr, 16);
        EXPECT_EQ(std::stoul(line.substr(line.size() - 2), nullptr, 16), (~sum) & 0xFF) << line;
        EXPECT_GE(address, nextAddress) << "ascending, no overlaps";
        nextAddress = address + count - 3;
        ++shape.recordsByLength[count - 3];
        shape.bytesGiven += count - 3;
        shape.firstAddress = std::min(shape.firstAddress, address);
        shape.lastAddress = std::max(shape.lastAddress, address + count - 4);
    }
    return shape;
}

ImageText Find(const FirmwareImage& image)
{
    ImageText text{};
    EXPECT_TRUE(FindImageText(ImageSource{}, image.typeName, image.id, text)) << image.typeName;
    return text;
}

std::vector<uint8_t> Stage(const FirmwareImage& image)
{
    const ImageText text = Find(image);
    std::vector<uint8_t> window(image.limit - image.base, image.fill);
    EXPECT_EQ(CSRecordReader::ReadImage(text.text, text.length, window.data(), image.base, image.limit),
              ImageEnd::EndRecord);
    return window;
}

uint32_t PagesToSend(const std::vector<uint8_t>& bank)
{
    uint32_t pages = 0;
    for (uint32_t page = 0; page < 0x8000; page += 128) {
        if (page >= 0x3600 && page < 0x3800)
            continue;
        bool erased = true;
        for (uint32_t i = 0; i < 128; ++i)
            erased = erased && bank[page + i] == 0xFF;
        pages += erased ? 0 : 1;
    }
    return pages;
}

TEST(FirmwareImages, EachIsFoundByTypeNameAndIdentifierOnly)
{
    ImageText text{};
    for (const FirmwareImage* image : kAll) {
        EXPECT_TRUE(FindImageText(ImageSource{}, image->typeName, image->id, text));
        EXPECT_FALSE(FindImageText(ImageSource{}, image->typeName, static_cast<uint16_t>(image->id + 10), text));
    }
    EXPECT_FALSE(FindImageText(ImageSource{}, "BOOTONE", 130, text));
    EXPECT_FALSE(FindImageText(ImageSource{}, "FIRMWARE", 129, text));
}

TEST(FirmwareImages, ShapesMatchTheDevicesFirmware)
{
    struct Expected {
        const FirmwareImage* image;
        Shape shape;
    };
    const Expected expected[] = {
        {&kBootOneImage, {552, 9, {{30, 7}, {12, 1}}, 70, 222, 0x0000, 0x00DD}},
        {&kBootTwoImage, {15832, 222, {{30, 219}, {10, 1}, {4, 1}}, 70, 6584, 0x6000, 0x79B7}},
        {&kXilinxDataImage, {17294, 397, {{16, 390}, {8, 1}, {6, 1}, {3, 3}, {2, 1}}, 42, 6265, 0xB800, 0xD078}},
    };
    for (const auto& [image, want] : expected) {
        const Shape shape = Measure(Find(*image));
        EXPECT_EQ(shape.size, want.size) << image->typeName;
        EXPECT_EQ(shape.lines, want.lines) << image->typeName;
        EXPECT_EQ(shape.recordsByLength, want.recordsByLength) << image->typeName;
        EXPECT_EQ(shape.longestLine, want.longestLine) << image->typeName;
        EXPECT_EQ(shape.bytesGiven, want.bytesGiven) << image->typeName;
        EXPECT_EQ(shape.firstAddress, want.firstAddress) << image->typeName;
        EXPECT_EQ(shape.lastAddress, want.lastAddress) << image->typeName;
    }

    // The application: 1977 full records and 84 shorter ones ending stretches.
    Shape shape = Measure(Find(kApplicationImage));
    EXPECT_EQ(shape.size, 89254u);
    EXPECT_EQ(shape.lines, 2062u);
    EXPECT_EQ(shape.recordsByLength[16], 1977u);
    uint32_t shortRecords = 0;
    for (uint32_t length = 1; length < 16; ++length)
        shortRecords += shape.recordsByLength[length];
    EXPECT_EQ(shortRecords, 84u);
    EXPECT_EQ(shape.longestLine, 42u);
    EXPECT_EQ(shape.bytesGiven, 32255u);
    EXPECT_EQ(shape.firstAddress, 0x8000u);
    EXPECT_EQ(shape.lastAddress, 0xFFFFu);
}

TEST(FirmwareImages, StagedWindowsHoldTheImagesOverTheirFill)
{
    const std::vector<uint8_t> bootOne = Stage(kBootOneImage);
    EXPECT_NE(std::count(bootOne.begin(), bootOne.begin() + 222, 0x00), 222);
    EXPECT_EQ(std::count(bootOne.begin() + 222, bootOne.end(), 0x00), 34);

    const std::vector<uint8_t> application = Stage(kApplicationImage);
    EXPECT_EQ(std::count(application.begin() + 0x3600, application.begin() + 0x3800, 0xFF), 0x200);
    EXPECT_EQ(application[0x7FBF], 0xFF);
    EXPECT_EQ(std::string(application.begin() + 3, application.begin() + 8), "5.0.3");
    EXPECT_EQ(PagesToSend(application), 247u);
    EXPECT_EQ(PagesToSend(Stage(kXilinxDataImage)), 49u);
}

TEST(FirmwareImages, ReaderAgreesWithSrecCat)
{
    if (std::system("command -v srec_cat > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "srec_cat (package srecord) is not installed";
    const std::map<const FirmwareImage*, std::string> files = {
        {&kBootOneImage, "bootone.s19"}, {&kBootTwoImage, "boottwo.s19"},
        {&kXilinxDataImage, "xilinxdata.s19"}, {&kApplicationImage, "application.s19"}};
    for (const auto& [image, file] : files) {
        const std::string out = ::testing::TempDir() + "/" + file + ".bin";
        char command[1024];
        std::snprintf(command, sizeof command,
                      "srec_cat '%s/%s' -fill 0x%02X 0x%X 0x%X -offset -0x%X -o '%s' -binary",
                      KZ_RES_DIR, file.c_str(), image->fill, image->base, image->limit, image->base,
                      out.c_str());
        ASSERT_EQ(std::system(command), 0) << command;
        std::ifstream in(out, std::ios::binary);
        const std::vector<uint8_t> expected((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
        EXPECT_EQ(Stage(*image), expected) << file;
    }
}

} // namespace
