#pragma once
// The least time an update can take against the simulated Kestrune: every
// frame and answer on the wire, the pauses the updater keeps, its wait for the
// sign-on and the device's own work, with nothing for the host's turnarounds.

#include "KestruneDevice.h"

struct ProtocolLimit {
    double wire = 0;       // characters on the wire that no pause covers
    double pauses = 0;     // the fixed pauses and the wait from the last echo to the next frame
    double signOnRead = 0; // when in that wait the 'X' is read
    double deviceWork = 0; // programming (an erase is over within its pause)
    double Total() const { return wire + pauses + deviceWork; }
};

// Seconds a character takes at 9600 and at 38400 bit/s; 0 for no wire time.
ProtocolLimit LimitOfUpdate(const DeviceTiming& timing, double bootstrapCharacter, double loaderCharacter);
