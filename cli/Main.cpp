#include "CliOptions.h"
#include "Updater.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kCliUsage, stdout);
        return ExitSuccess;
    }
    std::string error;
    const auto options = ParseCliOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "kestrune-update: %s\n%s", error.c_str(), kCliUsage);
        return ExitUsage;
    }
    return RunUpdater(*options, stdout, stdin);
}
