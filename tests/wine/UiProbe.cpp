// Looks at and drives the Kestrune Zeruzuz windows from another process,
// for the tests that run the program under Wine.
//
//   ui_probe dump TITLE [SECONDS]        wait for a top-level window, list its controls
//   ui_probe gone TITLE [SECONDS]        wait until no window has that title
//   ui_probe click TITLE ID              click the control with that id
//   ui_probe key TITLE enter|escape      press a key in the window
//   ui_probe close TITLE                 the caption's close box
//   ui_probe syscommand TITLE ID         a system-menu command
//
// Exit status 0 on success, 1 when the window did not appear (or vanish).

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HWND WaitForWindow(const char* title, double seconds)
{
    for (DWORD start = GetTickCount();;) {
        // Only once it shows: a dialog is made hidden and shown when ready.
        HWND window = FindWindowA(nullptr, title);
        if (window && IsWindowVisible(window))
            return window;
        if (GetTickCount() - start > seconds * 1000)
            return nullptr;
        Sleep(50);
    }
}

BOOL CALLBACK PrintControl(HWND control, LPARAM)
{
    char text[512] = {};
    char kind[64] = {};
    GetWindowTextA(control, text, sizeof text);
    GetClassNameA(control, kind, sizeof kind);
    for (char* c = text; *c; ++c)
        if (*c == '\n')
            *c = '|';
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    int checked = 0;
    if (_stricmp(kind, "Button") == 0)
        checked = SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    std::printf("id=%d class=%s enabled=%d checked=%d default=%d text=\"%s\"\n", GetDlgCtrlID(control), kind,
                IsWindowEnabled(control) ? 1 : 0, checked, (style & 0x0F) == BS_DEFPUSHBUTTON ? 1 : 0, text);
    return TRUE;
}

int Usage()
{
    std::fprintf(stderr, "usage: ui_probe dump|gone|click|key|close|syscommand TITLE [...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const char* verb = argv[1];
    const char* title = argv[2];
    const double seconds = argc > 3 ? std::atof(argv[3]) : 10.0;

    if (std::strcmp(verb, "gone") == 0) {
        for (DWORD start = GetTickCount(); FindWindowA(nullptr, title); Sleep(50))
            if (GetTickCount() - start > seconds * 1000)
                return 1;
        return 0;
    }
    HWND window = WaitForWindow(title, std::strcmp(verb, "dump") == 0 ? seconds : 10.0);
    if (!window) {
        std::printf("no window \"%s\"\n", title);
        return 1;
    }
    if (std::strcmp(verb, "dump") == 0) {
        Sleep(200); // let the window finish drawing and settle
        std::printf("window \"%s\" enabled=%d\n", title, IsWindowEnabled(window) ? 1 : 0);
        EnumChildWindows(window, PrintControl, 0);
    } else if (std::strcmp(verb, "click") == 0 && argc > 3) {
        const int id = std::atoi(argv[3]);
        HWND control = GetDlgItem(window, id);
        if (!control)
            return 1;
        // A push button's click is its command; a radio button has to check itself.
        const LONG kind = GetWindowLongA(control, GWL_STYLE) & 0x0F;
        if (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON) {
            if (!IsWindowEnabled(control))
                return 1;
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
        } else {
            PostMessageA(control, BM_CLICK, 0, 0);
        }
    } else if (std::strcmp(verb, "key") == 0 && argc > 3) {
        const WPARAM key = std::strcmp(argv[3], "enter") == 0 ? VK_RETURN : VK_ESCAPE;
        HWND target = GetWindow(window, GW_CHILD) ? GetWindow(window, GW_CHILD) : window;
        PostMessageA(target, WM_KEYDOWN, key, 1);
        PostMessageA(target, WM_KEYUP, key, 0xC0000001);
    } else if (std::strcmp(verb, "close") == 0) {
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (std::strcmp(verb, "syscommand") == 0 && argc > 3) {
        PostMessageA(window, WM_SYSCOMMAND, std::strtoul(argv[3], nullptr, 0), 0);
    } else {
        return Usage();
    }
    return 0;
}
