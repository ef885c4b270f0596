#include "PortDiagnosis.h"

#include <windows.h>

namespace {

// The system's own words for an error, without the line end it adds.
std::string SystemMessage(DWORD error)
{
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                   nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

} // namespace

std::string DescribeOpenFailure(const std::string& name, const PortOpenFailure& failure)
{
    if (failure.cause == PortOpenFailure::Cause::Network)
        return failure.text;
    const DWORD error = static_cast<DWORD>(failure.systemError);
    std::string text = name + ": " + SystemMessage(error) + "\n";
    if (failure.cause == PortOpenFailure::Cause::Held)
        text += "  Another program holds the port; close it (a terminal program, another updater) and try again.\n";
    else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        text += "  No such port here. 'kestrune-update --list-ports' or the Device Manager (Ports) shows them.\n";
    return text;
}
