#pragma once
// A duration as messages write it: "500 ms", "2 s". Messages take it from
// the constant the wait uses, so the two never disagree.

#include <cstdint>
#include <string>

inline std::string DurationText(uint32_t ms)
{
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}
