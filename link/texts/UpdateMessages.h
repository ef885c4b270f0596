#pragma once
// The texts the updater shows for the outcome of an update and for the
// port check; shared by the Windows program and the command-line updater.

#include "CarriedVersion.h"

constexpr const char* kErrorCaption = "Kestrune Zeruzuz Error";
constexpr const char* kSuccessCaption = "Success";
constexpr const char* kPortErrorCaption = "Error";

// Indexed by stage number 1 to 4.
constexpr const char* kStageFailureMessages[] = {
    "",
    "Could Not Load the Primary Bootstrap Program.",
    "Could Not Load the Secondary Bootstrap Program.",
    "Could Not Load the FPGA Firmware.",
    "Could Not Load the Application Firmware.",
};

// The message of stage 1 to 4; "" for anything else.
constexpr const char* StageFailureMessage(int stage)
{
    return stage >= 1 && stage <= 4 ? kStageFailureMessages[stage] : "";
}

constexpr const char* kSuccessMessage =
    "Firmware update was successful.\nPlease power-cycle and allow your Kestrune to restart now, "
    "before clicking OK.";

constexpr const char* kPortUnavailableMessage =
    "The selected COM port is unavailable.\nPlease choose a different port.";

constexpr const char* kCarriedFirmwareVersion = KZ_CARRIED_VERSION;
constexpr const char* kUnknownVersion = "???";
