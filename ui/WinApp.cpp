#include "WinApp.h"

#include "resource.h"

namespace {

CWinApp* g_pApp = nullptr;

} // namespace

CWinApp::CWinApp() { g_pApp = this; }

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

bool CWinApp::OnCommand(UINT id)
{
    if (id != ID_HELP)
        return false;
    OnHelp();
    return true;
}

CWinApp* AfxGetApp() { return g_pApp; }

// The framework's entry point: the statically built application object
// does the rest. Command-line arguments are not read.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    CWinApp* app = AfxGetApp();
    if (app && app->InitInstance()) {
        MSG message;
        while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
    return 0;
}
