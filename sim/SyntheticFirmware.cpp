#include "SyntheticFirmware.h"

namespace {

uint16_t CrcStep(uint16_t crc, uint8_t byte)
{
    crc ^= static_cast<uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit)
        crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    return crc;
}

bool Counted(uint32_t address, const FirmwareLayout& layout)
{
    if (address == layout.integrityAddress || address == layout.integrityAddress + 1u)
        return false;
    return address < kEepromFirst || address > kEepromLast;
}

} // namespace

uint16_t IntegrityWord(const uint8_t* window, const FirmwareLayout& layout)
{
    uint16_t crc = 0xFFFF;
    for (uint32_t offset = 0; offset < layout.size; ++offset)
        if (Counted(layout.base + offset, layout))
            crc = CrcStep(crc, window[offset]);
    return crc;
}

void StoreIntegrityWord(uint8_t* window, const FirmwareLayout& layout)
{
    const uint16_t word = IntegrityWord(window, layout);
    const uint32_t at = layout.integrityAddress - layout.base;
    window[at] = static_cast<uint8_t>(word >> 8);
    window[at + 1] = static_cast<uint8_t>(word);
}

bool IsIntact(const uint8_t* window, const FirmwareLayout& layout)
{
    const uint32_t at = layout.integrityAddress - layout.base;
    const uint16_t stored = static_cast<uint16_t>(window[at] << 8 | window[at + 1]);
    return stored == IntegrityWord(window, layout);
}
