#pragma once
// The streams the command-line updater talks through, and how it asks.

#include <cstdio>

struct CliStreams {
    std::FILE* out; // results, progress, JSON events
    std::FILE* err; // errors, warnings, prompts in JSON mode
    std::FILE* in;  // answers to the prompts
};

// The question, shown at once.
void Prompt(std::FILE* to, const char* question);

// Reads one answer; only "y" or "yes" (any case, spaces aside) is a yes.
bool AnswersYes(std::FILE* in);
