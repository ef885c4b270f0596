// Writes the four synthetic development images as S-record text. Their
// shape (records, lengths, address ranges, line ends) is that of the real
// firmware; their bytes are pseudo-random, with what the simulated
// Kestrune needs to run them: an integrity word in each, and the version
// reply in the application. The output is the same on every run.
//
// usage: make_images OUTPUT_DIRECTORY

#include "SyntheticFirmware.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Record {
    uint32_t address;
    uint32_t length;
};

class Image {
public:
    Image(const FirmwareLayout& layout, uint8_t fill, uint32_t seed)
        : m_layout(layout), m_window(layout.size, fill), m_seed(seed)
    {
    }

    // Adds records of the given lengths back to back from address on,
    // filling their bytes with pseudo-random data.
    uint32_t AddRun(uint32_t address, const std::vector<uint32_t>& lengths)
    {
        for (uint32_t length : lengths) {
            m_records.push_back(Record{address, length});
            for (uint32_t i = 0; i < length; ++i)
                m_window[address - m_layout.base + i] = NextByte();
            address += length;
        }
        return address;
    }

    void Set(uint32_t address, const std::vector<uint8_t>& bytes)
    {
        for (size_t i = 0; i < bytes.size(); ++i)
            m_window[address - m_layout.base + i] = bytes[i];
    }

    std::string Text()
    {
        StoreIntegrityWord(m_window.data(), m_layout);
        std::string text;
        for (const Record& record : m_records)
            text += S1Line(record);
        text += "S9030000FC\r\n";
        return text;
    }

private:
    uint8_t NextByte()
    {
        m_seed ^= m_seed << 13;
        m_seed ^= m_seed >> 17;
        m_seed ^= m_seed << 5;
        return static_cast<uint8_t>(m_seed >> 7);
    }

    std::string S1Line(const Record& record) const
    {
        char hex[3];
        std::string line = "S1";
        uint32_t sum = 0;
        auto put = [&](uint8_t byte) {
            std::snprintf(hex, sizeof hex, "%02X", byte);
            line += hex;
            sum += byte;
        };
        put(static_cast<uint8_t>(record.length + 3));
        put(static_cast<uint8_t>(record.address >> 8));
        put(static_cast<uint8_t>(record.address));
        for (uint32_t i = 0; i < record.length; ++i)
            put(m_window[record.address - m_layout.base + i]);
        std::snprintf(hex, sizeof hex, "%02X", static_cast<uint8_t>(~sum));
        return line + hex + "\r\n";
    }

    FirmwareLayout m_layout;
    std::vector<uint8_t> m_window;
    std::vector<Record> m_records;
    uint32_t m_seed;
};

std::vector<uint32_t> Repeat(uint32_t length, uint32_t times) { return std::vector<uint32_t>(times, length); }

std::vector<uint32_t> Join(const std::vector<std::vector<uint32_t>>& parts)
{
    std::vector<uint32_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Stretches of 16-byte records, each ended by one shorter record.
std::vector<uint32_t> Stretches(uint32_t fullRecords, const std::vector<uint32_t>& endings)
{
    std::vector<uint32_t> lengths;
    const auto count = static_cast<uint32_t>(endings.size());
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t full = fullRecords / count + (i < fullRecords % count ? 1 : 0);
        lengths.insert(lengths.end(), full, 16);
        lengths.push_back(endings[i]);
    }
    return lengths;
}

std::string BootOne()
{
    Image image(kPrimaryLoaderLayout, 0x00, 0x0B001u);
    image.AddRun(0x0000, Join({Repeat(30, 7), {12}}));
    return image.Text();
}

std::string BootTwo()
{
    Image image(kSecondaryLoaderLayout, 0x00, 0x0B002u);
    image.AddRun(0x6000, Join({Repeat(30, 219), {10, 4}}));
    return image.Text();
}

std::string XilinxData()
{
    Image image(kFpgaLayout, 0xFF, 0x0F9A1u);
    image.AddRun(0xB800, Join({Repeat(16, 390), {8, 6, 3, 3, 3, 2}}));
    return image.Text();
}

std::string Application()
{
    static const std::vector<uint32_t> kLowEndings = {1, 7, 14, 6,  13, 5,  12, 4,  11, 3,  10, 2,  9, 1,
                                                      8, 1, 7,  14, 6,  13, 5,  12, 4,  11, 3,  10, 2, 9,
                                                      1, 8, 1,  7,  14, 6,  13, 5,  12, 4,  11, 3};
    static const std::vector<uint32_t> kHighEndings = {5, 13, 5, 11, 4, 11, 2, 10, 2, 8, 1, 8, 14, 7, 14,
                                                       5, 13, 5, 11, 4, 11, 2, 10, 2, 8, 1, 8, 14, 7, 14,
                                                       5, 13, 5, 12, 4, 11, 3, 10, 2, 9, 1, 8, 15, 7};
    Image image(kApplicationLayout, 0xFF, 0x0A991u);
    // 0x8000-0xB5FF below the EEPROM, 0xB800-0xFFBE above it, then the vectors.
    image.AddRun(0x8000, Stretches((0x3600 - 288) / 16, kLowEndings));
    image.AddRun(0xB800, Stretches((0x47BF - 335) / 16, kHighEndings));
    image.AddRun(0xFFC0, Repeat(16, 4));
    // Erased-looking stretches the updater need not send.
    for (uint32_t page : {0xA000u, 0xA080u, 0xA100u, 0xE000u, 0xE080u})
        image.Set(page, std::vector<uint8_t>(128, 0xFF));
    image.Set(kVersionFrameAddress, {0x02, 0x08, 0x20, '5', '.', '0', '.', '3', 0x01, 0xF7});
    return image.Text();
}

bool WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_images OUTPUT_DIRECTORY\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = WriteFile(dir + "/bootone.s19", BootOne()) && WriteFile(dir + "/boottwo.s19", BootTwo()) &&
                    WriteFile(dir + "/xilinxdata.s19", XilinxData()) &&
                    WriteFile(dir + "/application.s19", Application());
    if (!ok) {
        std::fprintf(stderr, "make_images: cannot write to %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
