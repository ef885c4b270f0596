#pragma once
// The staging buffer: one image at a time, offset k standing for device
// address base + k of the current stage's window.

#include <cstdint>

constexpr uint32_t kImageBufferSize = 32768;
extern uint8_t g_imageBuffer[kImageBufferSize];
