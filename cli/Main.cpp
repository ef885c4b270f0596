#include "Bench.h"
#include "CliExit.h"
#include "CliOptions.h"
#include "CliUsage.h"
#include "ImageList.h"
#include "OwnConsole.h"
#include "PageHost.h"
#include "PageState.h"
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
    std::vector<std::string> args(argv + 1, argv + argc);
    // A double-click: the page, where a console that closes at the end
    // would show a listing of ports for a moment only.
    if (args.empty() && StartedInOwnConsole()) {
        args = {"--gui"};
        std::puts("Kestrune Zeruzuz shows its page in your browser. Closing this window stops the updater.");
    }
    std::string error;
    const auto options = ParseCliOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "kestrune-update: %s\nTry 'kestrune-update --help'.\n", error.c_str());
        return ExitUsage;
    }
    switch (options->action) {
    case CliAction::Help: std::fputs(CliUsage().c_str(), stdout); return ExitSuccess;
    case CliAction::Version:
        std::printf("kestrune-update %s, carrying Kestrune firmware %s\n", KZ_PROGRAM_VERSION, kCarriedFirmwareVersion);
        return ExitSuccess;
    case CliAction::ListPorts: std::fputs(FormatPortList(DiscoverPorts()).c_str(), stdout); return ExitSuccess;
    case CliAction::Bench: {
        const CliStreams io{stdout, stderr, stdin};
        if (!options->bGui)
            return RunBench(*options, io);
        PageState page(PageMode::Station,
                       options->benchSimulated ? options->benchSimulated : options->benchPorts.size());
        return RunWithPage(*options, io, page, [&] { return RunBench(*options, io, &page); });
    }
    case CliAction::ListImages: std::fputs(FormatImageList().c_str(), stdout); return ExitSuccess;
    case CliAction::UdevRule: {
        std::string rule;
        if (!MakeUdevRule(options->udevRulePort, DiscoverPorts(), rule, error)) {
            std::fprintf(stderr, "kestrune-update: %s\n", error.c_str());
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
