#pragma once
// What --help shows: one text for every platform (CliUsage.cpp), with the
// parts where the platforms differ given by each platform's own file
// (CliUsagePosix.cpp, CliUsageWin32.cpp).

#include <string>

std::string CliUsage();

// What --help says in a platform's own words.
struct PlatformUsage {
    const char* usage;            // the usage lines before the station's
    const char* listingUsage;     // the usage line of what the program lists and shows
    const char* portOptions;      // what the program does without a port, and the options that name one
    const char* bootstrapCommand; // --bootstrap-command, with the shell that runs it
    const char* ownSection;       // a section of options this platform alone has; may be empty
    const char* exitStatusFive;   // what exit status 5 means here
};

extern const PlatformUsage kPlatformUsage;
