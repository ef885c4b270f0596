// libFuzzer target: any command line ends in a documented exit status,
// never in a signal or an uncaught exception. The program's first step is
// taken here whole: the options are read (refused: exit 2, with a message),
// and every port they name becomes what is opened and shown. Each argument
// is also read as a port's name alone, and listed as a port found at that
// path, as --list-ports would show it.
//
// Input: the arguments, one per line.

#include "CliOptions.h"
#include "PortList.h"
#include "PortName.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// A name that was read opens and shows as something; a COM number names
// a port whose path leads back to it, and nothing else passes for one.
void CheckPortName(const std::string& text)
{
    std::string problem;
    const auto name = ParsePortName(text, problem);
    if (!name) {
        Check(!problem.empty() && (text.empty() || problem.find("'" + text + "'") != std::string::npos));
        return;
    }
    Check(!OpenName(*name).empty() && !ShownName(*name).empty());
    if (name->kind == PortName::Kind::ComNumber) {
        Check(name->number >= 1 && ComNumberOf(OpenName(*name)) == name->number);
        Check(name->text == "COM" + std::to_string(name->number));
        // The number as typed, not another port: 300 is no COM44.
        std::string digits = text.substr(text.find_first_of("0123456789"));
        digits.erase(0, digits.find_first_not_of('0'));
        Check(digits == std::to_string(name->number));
    } else {
        Check(name->text == text && OpenName(*name) == text);
        Check(name->server.empty() == (name->kind != PortName::Kind::Network));
    }
}

std::vector<std::string> Arguments(const uint8_t* input, size_t size)
{
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (input[i] == '\n')
            args.emplace_back();
        else
            args.back() += static_cast<char>(input[i]);
    }
    return args;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    const std::vector<std::string> args = Arguments(input, size);
    std::vector<PortInfo> found;
    for (const std::string& arg : args) {
        CheckPortName(arg);
        found.push_back(PortInfo{arg, "", "", "", false, 0, 0, "", "", ""});
    }
    Check(!FormatPortList(found).empty());

    std::string error;
    const auto options = ParseCliOptions(args, error);
    if (!options) {
        Check(!error.empty()); // exit 2, with what was wrong
        return 0;
    }
    Check(error.empty());
    Check(options->port == 0 || options->device.empty());
    for (const std::string& port : options->benchPorts) {
        std::string problem;
        Check(ParsePortName(port, problem).has_value());
    }
    for (const std::string* port : {&options->device, &options->udevRulePort}) {
        std::string problem;
        Check(port->empty() || ParsePortName(*port, problem).has_value());
    }
    return 0;
}
