#pragma once
// Text that comes from the device is shown as printable ASCII only: any
// other byte, and the backslash that marks the others, becomes \xNN. A
// terminal, a JSON stream or a dialog's static control then never sees a
// control character, an escape sequence or a broken UTF-8 byte from the
// wire, and "4.2.1" stays "4.2.1".

#include <cstddef>
#include <cstdint>
#include <string>

std::string PrintableDeviceText(const uint8_t* bytes, size_t count);
