#pragma once
// Tells the user how to put the Kestrune into bootstrap mode; its "Update"
// button (result 1) is the go-ahead, "Cancel" (the default) result 2.

#include "DialogFramework.h"
#include "resource.h"

class CInstructionsDlg : public CDialog {
public:
    explicit CInstructionsDlg(CWnd* pParent = nullptr) : CDialog(IDD_INSTRUCTIONS, pParent) {}
};
