#pragma once
// The command line's options, a row each: the option's names, whether it
// takes a value, and what it does with it. CliOptions.cpp reads them with
// getopt; what they mean together is OptionConflicts.cpp's.

#include "CliOptions.h"

#include <span>
#include <string>
#include <vector>

struct OptionRow {
    const char* name; // the long name, without its dashes
    char shortName;   // 0: none
    bool bTakesValue;
    // Takes the value into options; false, with error, when it is wrong.
    bool (*apply)(CliOptions& options, const std::string& value, std::string& error);
};

std::span<const OptionRow> OptionRows();

// The arguments that are no options: the ports of --bench, and nothing else.
bool TakeOperands(const std::vector<std::string>& operands, CliOptions& options, std::string& error);
