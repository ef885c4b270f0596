// Looks at and drives the Kestrune Zeruzuz windows from another process,
// for the tests that run the program under Wine.
//
//   ui_probe ready                       prints "ready": Wine can run programs here
//   ui_probe dump TITLE [SECONDS]        wait for a window, list the controls of each with that title
//   ui_probe gone TITLE [SECONDS]        wait until no window has that title
//   ui_probe box TITLE                   a message box's icon, told by its colours, and how many such boxes show
//   ui_probe rect TITLE                  the window's screen rectangle: WIDTHxHEIGHT+X+Y
//   ui_probe click TITLE ID              click the control with that id
//   ui_probe key TITLE enter|escape      press a key in the window
//   ui_probe close TITLE                 the caption's close box
//   ui_probe syscommand TITLE ID         a system-menu command
//   ui_probe setting                     the remembered port: key class, value type and bytes
//
// Exit status 0 on success, 1 when the window did not appear (or vanish).

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Search {
    const char* title;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<Search*>(context);
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    if (IsWindowVisible(window) && std::strcmp(text, search->title) == 0)
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> VisibleWindows(const char* title)
{
    Search search{title, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Waits until a window with that title shows (only once it shows: a dialog
// is made hidden and shown when ready), or with gone until none does.
HWND WaitFor(const char* title, double seconds, bool gone = false)
{
    for (const DWORD start = GetTickCount();; Sleep(50)) {
        const auto windows = VisibleWindows(title);
        if (windows.empty() == gone)
            return gone ? GetDesktopWindow() : windows.front();
        if (GetTickCount() - start > seconds * 1000)
            return nullptr;
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
    const int checked = _stricmp(kind, "Button") == 0 && SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    std::printf("id=%d class=%s enabled=%d checked=%d default=%d text=\"%s\"\n", GetDlgCtrlID(control), kind,
                IsWindowEnabled(control) ? 1 : 0, checked, (style & 0x0F) == BS_DEFPUSHBUTTON ? 1 : 0, text);
    return TRUE;
}

// A message box's icon is a static control of the icon kind. Wine draws the
// stop icon red and the exclamation icon yellow, so the screen tells which.
BOOL CALLBACK FindIconControl(HWND control, LPARAM found)
{
    if ((GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        *reinterpret_cast<HWND*>(found) = control;
    return TRUE;
}

const char* IconKind(HWND box)
{
    HWND icon = nullptr;
    EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&icon));
    if (!icon)
        return "none";
    RECT r;
    GetWindowRect(icon, &r);
    HDC screen = GetDC(nullptr);
    int red = 0, yellow = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = GetPixel(screen, x, y);
            const bool strongRed = GetRValue(c) > 160 && GetBValue(c) < 90;
            red += strongRed && GetGValue(c) < 90;
            yellow += strongRed && GetGValue(c) > 160;
        }
    ReleaseDC(nullptr, screen);
    return red > yellow ? "stop" : yellow > red ? "exclamation" : "unknown";
}

int PrintSetting()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Orvenda\\Kestrune Zeruzuz", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        std::puts("no key");
        return 1;
    }
    char keyClass[64] = {};
    DWORD classLength = sizeof keyClass;
    RegQueryInfoKeyA(key, keyClass, &classLength, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    BYTE data[16] = {};
    DWORD type = 0, size = sizeof data;
    const bool found =
        RegQueryValueExA(key, "Kestrune Zeruzuz Comm Port", nullptr, &type, data, &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    std::printf("class=%s", keyClass);
    if (found) {
        std::printf(" type=%lu data=", type);
        for (DWORD i = 0; i < size; ++i)
            std::printf("%02X", data[i]);
    }
    std::puts("");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const char* verb = argc > 1 ? argv[1] : "";
    if (std::strcmp(verb, "ready") == 0)
        return std::puts("ready"), 0;
    if (std::strcmp(verb, "setting") == 0)
        return PrintSetting();
    if (argc < 3)
        return std::fprintf(stderr, "usage: ui_probe ready|dump|gone|box|rect|click|key|close|syscommand|setting\n"), 2;
    const char* title = argv[2];
    const double seconds = argc > 3 ? std::atof(argv[3]) : 10.0;
    if (std::strcmp(verb, "gone") == 0)
        return WaitFor(title, seconds, true) ? 0 : 1;
    HWND window = WaitFor(title, std::strcmp(verb, "dump") == 0 ? seconds : 30.0);
    if (!window) {
        std::printf("no window \"%s\"\n", title);
        return 1;
    }
    if (std::strcmp(verb, "dump") == 0) {
        Sleep(200); // let the window finish drawing and settle
        for (HWND each : VisibleWindows(title)) {
            std::printf("window \"%s\" enabled=%d\n", title, IsWindowEnabled(each) ? 1 : 0);
            EnumChildWindows(each, PrintControl, 0);
        }
    } else if (std::strcmp(verb, "box") == 0) {
        Sleep(500); // a second box would be on its way, and the icon drawn
        std::printf("%s %u\n", IconKind(window), static_cast<unsigned>(VisibleWindows(title).size()));
    } else if (std::strcmp(verb, "rect") == 0) {
        RECT r;
        GetWindowRect(window, &r);
        std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    } else if (std::strcmp(verb, "click") == 0 && argc > 3) {
        const int id = std::atoi(argv[3]);
        HWND control = GetDlgItem(window, id);
        if (!control)
            return 1;
        // A push button's click is its command; a radio button has to check itself.
        const LONG kind = GetWindowLongA(control, GWL_STYLE) & 0x0F;
        if (kind != BS_PUSHBUTTON && kind != BS_DEFPUSHBUTTON)
            PostMessageA(control, BM_CLICK, 0, 0);
        else if (!IsWindowEnabled(control))
            return 1;
        else
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    } else if (std::strcmp(verb, "key") == 0 && argc > 3) {
        const WPARAM key = std::strcmp(argv[3], "enter") == 0 ? VK_RETURN : VK_ESCAPE;
        HWND target = GetWindow(window, GW_CHILD) ? GetWindow(window, GW_CHILD) : window;
        PostMessageA(target, WM_KEYDOWN, key, 1);
        PostMessageA(target, WM_KEYUP, key, 0xC0000001);
    } else if (std::strcmp(verb, "close") == 0 || (std::strcmp(verb, "syscommand") == 0 && argc > 3)) {
        PostMessageA(window, WM_SYSCOMMAND, verb[0] == 'c' ? SC_CLOSE : std::strtoul(argv[3], nullptr, 0), 0);
    } else {
        return std::fprintf(stderr, "ui_probe: no such verb, or its argument missing\n"), 2;
    }
    return 0;
}
