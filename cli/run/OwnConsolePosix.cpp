#include "OwnConsole.h"

// A terminal program here is started from a terminal or a desktop entry.
bool StartedInOwnConsole() { return false; }
