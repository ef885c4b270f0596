#include "UpdaterApp.h"

#include "UpdaterDlg.h"

CUpdaterApp theApp;

BOOL CUpdaterApp::InitInstance()
{
    CUpdaterDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    // No message loop of our own: the program ends with the dialog.
    return FALSE;
}
