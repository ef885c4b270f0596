#include "DialogFramework.h"

#include "WinApp.h"

namespace {

int g_waitCursors = 0;

void ShowCursorFor(bool busy) { ::SetCursor(::LoadCursorA(nullptr, busy ? IDC_WAIT : IDC_ARROW)); }

} // namespace

void BeginWaitCursor()
{
    ++g_waitCursors;
    ShowCursorFor(true);
}

void RestoreWaitCursor() { ShowCursorFor(g_waitCursors > 0); }

void EndWaitCursor()
{
    if (g_waitCursors > 0)
        --g_waitCursors;
    ShowCursorFor(g_waitCursors > 0);
}

CWnd* CWnd::GetDlgItem(int id)
{
    HWND child = ::GetDlgItem(m_hWnd, id);
    if (!child)
        return nullptr;
    auto& wrapper = m_children[id];
    if (!wrapper)
        wrapper = std::make_unique<CWnd>(child);
    wrapper->m_hWnd = child;
    return wrapper.get();
}

INT_PTR CDialog::DoModal()
{
    // Without a parent the dialog is owned by the application's main window.
    HWND owner = m_pParent ? m_pParent->m_hWnd : nullptr;
    if (!m_pParent) {
        CWinApp* app = AfxGetApp();
        if (app && app->m_pMainWnd && app->m_pMainWnd != this && ::IsWindow(app->m_pMainWnd->m_hWnd))
            owner = app->m_pMainWnd->m_hWnd;
    }
    return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nTemplateId), owner, &CDialog::DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        dialog->m_hWnd = hWnd;
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    if (!dialog)
        return FALSE;
    const INT_PTR result = dialog->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY)
        dialog->m_hWnd = nullptr;
    return result;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETCURSOR && g_waitCursors > 0) {
        ShowCursorFor(true);
        ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    const bool command = message == WM_COMMAND;
    if (command && HIWORD(wParam) != BN_CLICKED)
        return FALSE;
    const UINT id = command ? LOWORD(wParam) : 0;
    for (const MessageMap* map = GetMessageMap(); map; map = map->base)
        for (std::size_t i = 0; i < map->count; ++i) {
            const MessageMapEntry& entry = map->entries[i];
            if (entry.message != message || (command && entry.commandId != id))
                continue;
            // A handled message answers TRUE unless its handler says otherwise.
            INT_PTR result = TRUE;
            return entry.handler(*this, wParam, lParam, result) ? result : FALSE;
        }
    if (!command)
        return FALSE;
    switch (id) {
    case IDOK: OnOK(); return TRUE;
    case IDCANCEL: OnCancel(); return TRUE;
    default:
        // Commands no dialog handles go to the application object.
        if (CWinApp* app = AfxGetApp())
            return app->OnCommand(id) ? TRUE : FALSE;
        return FALSE;
    }
}
