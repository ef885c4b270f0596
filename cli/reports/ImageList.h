#pragma once
// The firmware images this program carries, as --images lists them.

#include <string>

std::string FormatImageList();
