#pragma once
// A small dialog framework over the Win32 dialog manager: window wrappers,
// modal dialogs from templates whose messages reach member functions
// through a message map, and the application-wide wait cursor.

#include <windows.h>

#include <cstddef>
#include <map>
#include <memory>

class CDialog;

// One message-map entry: WM_COMMAND entries name the command id and react to
// a button click (notification 0). The handler tells whether it handled the
// message; result is then what the dialog procedure returns.
struct MessageMapEntry {
    UINT message;
    UINT commandId;
    bool (*handler)(CDialog& dialog, WPARAM wParam, LPARAM lParam, INT_PTR& result);
};

struct MessageMap {
    const MessageMap* base;
    const MessageMapEntry* entries;
    std::size_t count;
};

template <typename T, void (T::*Handler)()>
constexpr MessageMapEntry CommandEntry(UINT commandId)
{
    return {WM_COMMAND, commandId, [](CDialog& dialog, WPARAM, LPARAM, INT_PTR& result) {
                (static_cast<T&>(dialog).*Handler)();
                result = TRUE;
                return true;
            }};
}

template <typename T, bool (T::*Handler)(WPARAM, LPARAM, INT_PTR&)>
constexpr MessageMapEntry MessageEntry(UINT message)
{
    return {message, 0, [](CDialog& dialog, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
                return (static_cast<T&>(dialog).*Handler)(wParam, lParam, result);
            }};
}

class CWnd {
public:
    CWnd() = default;
    explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd() = default;

    // The child control with this id; the wrapper lives as long as this window object.
    CWnd* GetDlgItem(int id);
    void EnableWindow(bool enable) { ::EnableWindow(m_hWnd, enable); }
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    int MessageBox(const char* text, const char* caption, UINT type)
    {
        return ::MessageBoxA(m_hWnd, text, caption, type);
    }

    HWND m_hWnd = nullptr;

private:
    std::map<int, std::unique_ptr<CWnd>> m_children;
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* pParent = nullptr) : m_nTemplateId(templateId), m_pParent(pParent) {}

    // Runs the dialog until it ends; its result code, or -1 if it could not be made.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual const MessageMap* GetMessageMap() const { return nullptr; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_nTemplateId;
    CWnd* m_pParent;
};

// The application-wide busy cursor.
void BeginWaitCursor();
void RestoreWaitCursor();
void EndWaitCursor();
