#pragma once
// The staging buffer holds one image at a time, offset k standing for
// device address base + k of the current stage's window.

#include <cstdint>

constexpr uint32_t kImageBufferSize = 32768;
