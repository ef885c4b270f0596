#include "TerminalWidth.h"

#include <io.h>
#include <windows.h>

// The console wraps at its screen buffer's width; the window may show less
// of it, and a line wider than the window is cut from sight.
size_t TerminalColumns(std::FILE* stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (!GetConsoleScreenBufferInfo(console, &info))
        return 0;
    const SHORT window = static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1);
    return static_cast<size_t>(window > 0 && window < info.dwSize.X ? window : info.dwSize.X);
}
