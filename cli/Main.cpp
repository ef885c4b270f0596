#include "Bench.h"
#include "CliExit.h"
#include "CliOptions.h"
#include "ImageList.h"
#include "PageHost.h"
#include "PortList.h"
#include "SingleUpdate.h"
#include "UdevRule.h"
#include "UpdateMessages.h"

#include <cstdio>
#include <string>
#include <vector>

#ifndef KZ_PROGRAM_VERSION
#define KZ_PROGRAM_VERSION "unknown"
#endif

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = ParseCliOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "kestrune-update: %s\nTry 'kestrune-update --help'.\n", error.c_str());
        return ExitUsage;
    }
    switch (options->action) {
    case CliAction::Help: std::fputs(kCliUsage, stdout); return ExitSuccess;
    case CliAction::Version:
        std::printf("kestrune-update %s, carrying Kestrune firmware %s\n", KZ_PROGRAM_VERSION, kCarriedFirmwareVersion);
        return ExitSuccess;
    case CliAction::ListPorts: std::fputs(FormatPortList(DiscoverPorts()).c_str(), stdout); return ExitSuccess;
    case CliAction::Bench: return RunBench(*options, CliStreams{stdout, stderr, stdin});
    case CliAction::ListImages: std::fputs(FormatImageList().c_str(), stdout); return ExitSuccess;
    case CliAction::UdevRule: {
        std::string rule;
        if (!MakeUdevRule(options->udevRulePort, DiscoverPorts(), rule, error)) {
            std::fprintf(stderr, "kestrune-update: %s", error.c_str());
#ifdef _WIN32
            return ExitUsage; // no udev here
#else
            return ExitPortUnavailable;
#endif
        }
        std::fputs(rule.c_str(), stdout);
        return ExitSuccess;
    }
    default:
        if (options->bGui)
            return RunOwnerPage(*options, CliStreams{stdout, stderr, stdin});
        return RunSingleUpdate(*options, CliStreams{stdout, stderr, stdin});
    }
}
