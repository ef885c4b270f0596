#pragma once
// The steps that put the Kestrune into its bootstrap mode, as the
// Instructions dialog shows them. The resource script builds the dialog
// from these same macros (a resource compiler knows only the preprocessor),
// so the texts stand in one place; \x22 is a double quote that both
// compilers read alike.

#define KZ_INSTRUCTIONS_HEADING "To Update Kestrune Firmware, do the following now:"
#define KZ_INSTRUCTIONS_STEPS                                                                                          \
    "1. Turn off Kestrune power for 5 seconds.\n"                                                                      \
    "2. While holding down the \x22SET\x22 button, turn\n"                                                             \
    "    Kestrune power back on.\n"                                                                                    \
    "3. Release the \x22SET\x22 button after 5 seconds."
#define KZ_INSTRUCTIONS_NOTE "Note: Front panel LEDs and displays will\nnot be lit during the firmware update."
#define KZ_INSTRUCTIONS_LAST_STEP "4. Click the \x22Update\x22 button below."
#define KZ_INSTRUCTIONS_DURATION                                                                                       \
    "(Updating will take about a minute. Do not click away from this application until the "                           \
    "update is finished.)"
