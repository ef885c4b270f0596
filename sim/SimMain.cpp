// The simulated Kestrune as a program of its own: it prints the terminal
// to point the updater at and takes commands on standard input.
//
// usage: kestrune-sim [--paced] [--latency MS] [--bootstrap] [--link PATH] [--fault SPEC]... | --help
// (kestrune-sim.1 beside this file says the same as PrintUsage)

#include "FaultSpec.h"
#include "SimulatedKestrune.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

char g_linkPath[4096];

void RemoveLinkAndExit(int)
{
    if (g_linkPath[0])
        unlink(g_linkPath);
    _exit(0);
}

void PrintHelp()
{
    std::puts("commands: power | bootstrap | off | status | fault SPEC | clear | plug | unplug-adapter | quit");
}

void PrintStatus(SimulatedKestrune& sim)
{
    sim.WithDevice([](KestruneDevice& device) {
        const std::string version = device.FirmwareVersion();
        std::printf("listener: %s; firmware %s; FPGA %s%s; bytes received %llu; version queries %u\n",
                    ListenerName(device.CurrentListener()), version.empty() ? "damaged" : version.c_str(),
                    device.FpgaConfigured() ? "configured" : "not configured",
                    device.CablePulled() ? "; cable pulled" : "",
                    static_cast<unsigned long long>(device.BytesReceived()), device.ExchangeCount(Exchange::Version));
    });
}

constexpr const char* kUsageLine =
    "usage: kestrune-sim [--paced] [--latency MS] [--bootstrap] [--link PATH] [--fault SPEC]...\n";

// --help: the options and the commands, as the man page lists them.
void PrintUsage()
{
    std::fputs(kUsageLine, stdout);
    std::fputs("A simulated Kestrune on a pseudo-terminal: prints the terminal's path, serves it\n"
               "until stopped and takes commands on standard input.\n"
               "\n"
               "options:\n"
               "  --paced          each byte takes its wire time, both ways\n"
               "  --latency MS     hold answers for a USB adapter's latency timer (0 to 1000 ms)\n"
               "  --bootstrap      start in bootstrap mode (powered on with SET held)\n"
               "  --link PATH      also make a symbolic link PATH to the terminal\n"
               "  --fault SPEC     misbehave as SPEC says, KIND:EXCHANGE[:OCCURRENCE[:ARGUMENT]];\n"
               "                   kinds silence, late, nak, corrupt, unplug, unplug-adapter;\n"
               "                   exchanges echo, sign-on, clear, write, read, jump, ping,\n"
               "                   flash-id, erase, program, version (may be repeated)\n"
               "  -h, --help       show this and exit\n"
               "\n"
               "commands (one a line, each answered with the device's status):\n"
               "  power            power off and on: the firmware starts\n"
               "  bootstrap        power off and on with SET held: bootstrap mode\n"
               "  off              power off\n"
               "  status           show the device's status\n"
               "  fault SPEC       add a fault, as --fault\n"
               "  clear            remove every fault\n"
               "  plug             plug the cable in again after an unplug fault\n"
               "  unplug-adapter   pull out the host's USB adapter: the terminal goes away\n"
               "  quit             stop\n",
               stdout);
}

int Usage()
{
    std::fputs(kUsageLine, stderr);
    std::fputs("kestrune-sim --help lists the options and commands.\n", stderr);
    return 2;
}

struct SimArguments {
    SimulatedKestrune::Options options;
    std::string linkPath;
    std::vector<Fault> faults;
};

// -1 to go on, or the exit status for --help or for arguments that are
// wrong (the reason is printed).
int ParseArguments(int argc, char** argv, SimArguments& parsed)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage();
            return 0;
        } else if (arg == "--paced") {
            parsed.options.bPaced = true;
        } else if (arg == "--latency" && i + 1 < argc) {
            char* end = nullptr;
            const unsigned long ms = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || ms > 1000) {
                std::fprintf(stderr, "kestrune-sim: --latency takes milliseconds from 0 to 1000\n");
                return 2;
            }
            parsed.options.latencyMs = static_cast<uint32_t>(ms);
        } else if (arg == "--bootstrap") {
            parsed.options.bStartInBootstrap = true;
        } else if (arg == "--link" && i + 1 < argc) {
            parsed.linkPath = argv[++i];
        } else if (arg == "--fault" && i + 1 < argc) {
            const auto fault = ParseFault(argv[++i]);
            if (!fault) {
                std::fprintf(stderr, "kestrune-sim: not a fault: %s\n", argv[i]);
                return 2;
            }
            parsed.faults.push_back(*fault);
        } else {
            return Usage();
        }
    }
    return -1;
}

// Opens the terminal with its faults and link and says where it is; 0, or
// the exit status when that failed.
int StartDevice(SimulatedKestrune& sim, const SimArguments& parsed)
{
    if (!sim.Start()) {
        std::fprintf(stderr, "kestrune-sim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    sim.WithDevice([&](KestruneDevice& device) {
        for (const Fault& fault : parsed.faults)
            device.AddFault(fault);
    });
    if (!parsed.linkPath.empty()) {
        unlink(parsed.linkPath.c_str());
        if (symlink(sim.DevicePath().c_str(), parsed.linkPath.c_str()) != 0) {
            std::fprintf(stderr, "kestrune-sim: cannot link %s: %s\n", parsed.linkPath.c_str(), std::strerror(errno));
            return 1;
        }
        std::snprintf(g_linkPath, sizeof g_linkPath, "%s", parsed.linkPath.c_str());
    }
    std::signal(SIGTERM, RemoveLinkAndExit);
    std::signal(SIGINT, RemoveLinkAndExit);
    std::printf("kestrune-sim: simulated Kestrune on %s%s\n", sim.DevicePath().c_str(),
                parsed.options.bPaced ? " (paced at line speed)" : "");
    PrintStatus(sim);
    std::fflush(stdout);
    return 0;
}

// Carries out one command; false when it was not one (what to type is printed).
bool RunCommand(SimulatedKestrune& sim, const std::string& line)
{
    if (line == "power") {
        sim.PowerCycle(false);
    } else if (line == "bootstrap") {
        sim.PowerCycle(true);
    } else if (line == "off") {
        sim.PowerOff();
    } else if (line == "status") {
    } else if (line == "clear") {
        sim.WithDevice([](KestruneDevice& device) { device.ClearFaults(); });
    } else if (line == "plug") {
        sim.WithDevice([](KestruneDevice& device) { device.ReconnectCable(); });
    } else if (line == "unplug-adapter") {
        sim.UnplugAdapter();
    } else if (line.rfind("fault ", 0) == 0) {
        const auto fault = ParseFault(line.substr(6));
        if (!fault) {
            std::puts("not a fault: KIND:EXCHANGE[:OCCURRENCE[:ARGUMENT]]");
            return false;
        }
        sim.WithDevice([&](KestruneDevice& device) { device.AddFault(*fault); });
        std::printf("fault set: %s\n", DescribeFault(*fault).c_str());
    } else {
        PrintHelp();
        return false;
    }
    return true;
}

// Commands from standard input, each followed by the device's status; true
// when "quit" ended them.
bool ServeCommands(SimulatedKestrune& sim)
{
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "quit")
            return true;
        if (!RunCommand(sim, line))
            continue;
        PrintStatus(sim);
        std::fflush(stdout);
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    SimArguments parsed;
    if (const int status = ParseArguments(argc, argv, parsed); status >= 0)
        return status;
    SimulatedKestrune sim(parsed.options);
    if (const int status = StartDevice(sim, parsed))
        return status;
    // Without standard input (run in the background) keep serving until told to stop.
    if (!ServeCommands(sim) && !isatty(STDIN_FILENO))
        for (;;)
            pause();
    RemoveLinkAndExit(0);
}
