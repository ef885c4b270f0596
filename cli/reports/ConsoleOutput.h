#pragma once
// Whether output goes to a person's terminal, and whether that terminal
// takes the escape sequences that move the cursor (a Windows console does
// once asked to, from Windows 10 on).

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

inline bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

inline bool TerminalTakesEscapes(std::FILE* stream)
{
    if (!IsTerminal(stream))
        return false;
    HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return GetConsoleMode(console, &mode) && SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}
#else
#include <unistd.h>

inline bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }
inline bool TerminalTakesEscapes(std::FILE* stream) { return IsTerminal(stream); }
#endif
