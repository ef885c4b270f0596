#pragma once
// Why a serial device could not be opened, said for a person: the path, the
// system's reason and what to do about it.

#include <string>

// Lines ending in a line feed, ready for stderr.
std::string DescribeOpenFailure(const std::string& path);
