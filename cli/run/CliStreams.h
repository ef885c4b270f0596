#pragma once
// The streams the command-line updater talks through.

#include <cstdio>

struct CliStreams {
    std::FILE* out; // results, progress, JSON events
    std::FILE* err; // errors, warnings, prompts in JSON mode
    std::FILE* in;  // answers to the prompts
};
