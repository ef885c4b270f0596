#include "PortDiagnosis.h"

#include "SystemMessage.h"

#include <windows.h>

std::string DescribeOpenFailure(const std::string& name, const PortOpenFailure& failure)
{
    if (failure.cause == PortOpenFailure::Cause::Network)
        return failure.text;
    const DWORD error = static_cast<DWORD>(failure.systemError);
    std::string text = name + ": " + SystemMessage(failure.systemError) + "\n";
    if (failure.cause == PortOpenFailure::Cause::Held)
        text += "  Another program holds the port; close it (a terminal program, another updater) and try again.\n";
    else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        text += "  No such port here. 'kestrune-update --list-ports' or the Device Manager (Ports) shows them.\n";
    return text;
}
