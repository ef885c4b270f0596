#include "CliOptions.h"

#include "FaultSpec.h"

const char* const kCliUsage =
    "usage: kestrune-update [--port 1|2|3 | --device PATH] [--yes] [--version-only]\n"
    "                       [--paced] [--fault KIND:EXCHANGE[:OCCURRENCE[:ARGUMENT]]]...\n"
    "Without --port or --device the update runs against a simulated Kestrune;\n"
    "--paced and --fault apply to that simulated device only.\n";

std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error)
{
    CliOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--port" && hasValue) {
            const std::string& value = args[++i];
            if (value != "1" && value != "2" && value != "3") {
                error = "--port takes 1, 2 or 3, not '" + value + "'";
                return std::nullopt;
            }
            options.port = static_cast<uint8_t>(value[0] - '0');
        } else if (arg == "--device" && hasValue) {
            options.device = args[++i];
        } else if (arg == "--fault" && hasValue) {
            const auto fault = ParseFault(args[++i]);
            if (!fault) {
                error = "not a fault: '" + args[i] + "'";
                return std::nullopt;
            }
            options.faults.push_back(*fault);
        } else if (arg == "--paced") {
            options.bPaced = true;
        } else if (arg == "--yes") {
            options.bAssumeYes = true;
        } else if (arg == "--version-only") {
            options.bVersionOnly = true;
        } else {
            error = "unknown argument '" + arg + "'";
            return std::nullopt;
        }
    }
    if (options.port != 0 && !options.device.empty()) {
        error = "--port and --device name two ports; give one";
        return std::nullopt;
    }
    if (!options.UsesSimulator() && (options.bPaced || !options.faults.empty())) {
        error = "--paced and --fault apply to the simulated device only";
        return std::nullopt;
    }
    return options;
}
