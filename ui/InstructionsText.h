#pragma once
// The steps that put the Kestrune into its bootstrap mode, as the
// Instructions dialog shows them.

constexpr const char* kInstructionsHeading = "To Update Kestrune Firmware, do the following now:";
constexpr const char* kInstructionsSteps =
    "1. Turn off Kestrune power for 5 seconds.\n"
    "2. While holding down the \"SET\" button, turn\n"
    "    Kestrune power back on.\n"
    "3. Release the \"SET\" button after 5 seconds.";
constexpr const char* kInstructionsNote =
    "Note: Front panel LEDs and displays will\nnot be lit during the firmware update.";
constexpr const char* kInstructionsLastStep = "4. Click the \"Update\" button below.";
constexpr const char* kInstructionsDuration =
    "(Updating will take about a minute. Do not click away from this application until the "
    "update is finished.)";
