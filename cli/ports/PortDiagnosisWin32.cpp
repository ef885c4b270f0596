#include "PortDiagnosis.h"

#include "SystemMessage.h"

#include <windows.h>

std::string DescribeOpenFailure(const std::string& name, const PortOpenFailure& failure)
{
    if (failure.cause == PortOpenFailure::Cause::Network)
        return DescribeNetworkFailure(name, failure);
    const DWORD error = static_cast<DWORD>(failure.systemError);
    std::string text = name + ": " + SystemMessage(failure.systemError);
    if (failure.cause == PortOpenFailure::Cause::Held)
        text += "\n  Another program holds the port; close it (a terminal program, another updater) and try again.";
    else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        text += "\n  No such port here. 'kestrune-update --list-ports' or the Device Manager (Ports) shows them.";
    return text;
}
