#pragma once
// The About box, opened from the main window's system menu.

#include "DialogFramework.h"
#include "resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
