#pragma once
// The application object of the dialog framework: the program's one
// instance, started from WinMain.

#include <windows.h>

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Called once after start-up; returning false ends the application
    // without entering a message loop.
    virtual BOOL InitInstance() { return FALSE; }
    // Commands routed to the application; true when handled.
    virtual bool OnCommand(UINT id);
    // The framework's Help command; the program brings no help text.
    void OnHelp() {}

    HICON LoadIcon(UINT id) const { return ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)); }

    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
