#pragma once
// The application object: runs the main dialog and ends with it.

#include "WinApp.h"

class CUpdaterApp : public CWinApp {
public:
    CUpdaterApp() = default;
    BOOL InitInstance() override;
};

extern CUpdaterApp theApp;
