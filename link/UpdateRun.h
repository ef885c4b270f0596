#pragma once
// Strings the four stages together and reads the device's version.

#include "DeviceLink.h"

#include <optional>
#include <string>
#include <vector>

// Runs the stages in order and stops at the first that fails. Returns the
// number of that stage, or 0 when all four succeeded.
int RunUpdateStages(CDeviceLink& link);

// Puts the line into run mode and asks the application firmware for its
// version: the five characters of the reply, fewer where one is zero,
// as printable text. Nothing when no reply came.
std::optional<std::string> QueryDeviceVersion(CDeviceLink& link);

// The answer to the version query, as the observer saw it come, is a whole
// version frame with its header.
bool IsVersionFrame(const std::vector<uint8_t>& reply);
