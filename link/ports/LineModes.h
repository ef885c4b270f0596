#pragma once
// The three line modes the device is spoken to in, numbered as
// CSerialChannel::SetLineMode takes them. The link, its observer, the trace,
// the simulated device and the tests all name them by these constants.

#include <cstdint>

constexpr int16_t kRunLine = 0;       // 38400 8O1: the application firmware
constexpr int16_t kBootstrapLine = 1; // 9600 8N1: the bootstrap ROM
constexpr int16_t kLoaderLine = 2;    // 38400 8N1: the primary and secondary loaders
constexpr int16_t kUnknownLine = -1;  // none of these (or not known)
constexpr int16_t kLineModeCount = 3;
