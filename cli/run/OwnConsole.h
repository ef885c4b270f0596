#pragma once
// Whether the program was started in a console window of its own, as a
// double-click in Explorer starts a console program: the window closes
// when the program ends, so a listing of ports would flash by unread.

// True on Windows when no other process shares the console (no command
// prompt started us) and standard output is that console; false elsewhere.
bool StartedInOwnConsole();
