#pragma once
// What the options mean together, once all are read.

#include "CliOptions.h"

#include <string>

// Empty when they fit; otherwise what is wrong, for a usage error.
std::string Conflicts(const CliOptions& options);
