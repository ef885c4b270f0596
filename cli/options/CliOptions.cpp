// The command line as getopt_long reads it (glibc and MinGW-w64 alike):
// --option VALUE and --option=VALUE, bundled short options (-yq), an
// unambiguous prefix of a long option, and -- before arguments that are no
// options. Each option is one row of a table (OptionTable.cpp); what the
// options mean together is checked once all are read.

#include "CliOptions.h"

#include "OptionConflicts.h"
#include "OptionSuggestion.h"
#include "OptionTable.h"

#include <getopt.h>

namespace {

constexpr int kLongCodes = 256; // getopt's code of row i is kLongCodes + i

std::string NameOf(int code)
{
    if (code >= kLongCodes)
        return std::string("--") + OptionRows()[code - kLongCodes].name;
    for (const OptionRow& row : OptionRows())
        if (row.shortName == code)
            return std::string("--") + row.name;
    return std::string("-") + static_cast<char>(code);
}

const OptionRow* RowOf(int code)
{
    if (code >= kLongCodes)
        return &OptionRows()[code - kLongCodes];
    for (const OptionRow& row : OptionRows())
        if (row.shortName == code)
            return &row;
    return nullptr;
}

// Why getopt did not take an argument: unknown (with the nearest option),
// ambiguous, or a value given to an option that takes none.
std::string Unrecognised(const char* typed, int code)
{
    if (code >= kLongCodes)
        return NameOf(code) + " takes no value";
    if (code != 0)
        return std::string("unknown argument '-") + static_cast<char>(code) + "'";
    std::vector<std::string> names;
    for (const OptionRow& row : OptionRows())
        names.emplace_back(std::string("--") + row.name);
    return UnknownOptionMessage(typed, names);
}

} // namespace

std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error)
{
    std::vector<option> longOptions;
    std::string shortOptions = ":"; // a missing value is told apart from an unknown option
    const std::span<const OptionRow> rows = OptionRows();
    for (size_t i = 0; i < rows.size(); ++i) {
        const OptionRow& row = rows[i];
        longOptions.push_back(
            option{row.name, row.bTakesValue ? required_argument : no_argument, nullptr, kLongCodes + int(i)});
        if (row.shortName)
            shortOptions += std::string(1, row.shortName) + (row.bTakesValue ? ":" : "");
    }
    longOptions.push_back(option{});
    // getopt reorders the arguments it is given, so it works on copies.
    std::vector<std::string> words{"kestrune-update"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    // getopt keeps its place in globals of the C library: start it afresh, silent.
    optind = 0;
    opterr = 0;
    CliOptions options;
    for (int code; (code = getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), nullptr)) != -1;) {
        if (code == '?')
            return error = Unrecognised(argv[optind - 1], optopt), std::nullopt;
        if (code == ':')
            return error = NameOf(optopt) + " needs a value", std::nullopt;
        const OptionRow* row = RowOf(code);
        if (!row || !row->apply(options, row->bTakesValue && optarg ? optarg : "", error))
            return std::nullopt;
    }
    if (!TakeOperands(std::vector<std::string>(argv.begin() + optind, argv.end() - 1), options, error))
        return std::nullopt;
    error = Conflicts(options);
    if (!error.empty())
        return std::nullopt;
    return options;
}
