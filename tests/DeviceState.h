#pragma once
// What the simulated Kestrune holds, and what its banks should hold once an
// image is in: for the update tests and the soak.

#include "FirmwareImages.h"
#include "KestruneDevice.h"
#include "SRecordReader.h"

#include <array>

using Bank = std::array<uint8_t, KestruneDevice::kBankSize>;

// Erased flash with the image on it; all 0xFF when the image is missing.
inline Bank ExpectedBank(const FirmwareImage& image)
{
    Bank bank;
    bank.fill(0xFF);
    ImageText text{};
    if (FindImageText(ImageSource{}, image.typeName, image.id, text))
        CSRecordReader::ReadImage(text.text, text.length, bank.data(), image.base, image.limit);
    return bank;
}

struct DeviceState {
    std::array<Bank, 4> banks;
    std::array<uint8_t, KestruneDevice::kEepromSize> eeprom;

    static DeviceState Of(const KestruneDevice& device)
    {
        return DeviceState{{device.Bank(0), device.Bank(1), device.Bank(2), device.Bank(3)}, device.Eeprom()};
    }
};
