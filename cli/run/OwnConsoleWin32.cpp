#include "OwnConsole.h"

#include <windows.h>

bool StartedInOwnConsole()
{
    DWORD processes[2];
    DWORD mode = 0;
    return GetConsoleProcessList(processes, 2) == 1 && GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
}
