#pragma once
// The main window: port choice, the two versions and the way to the update.

#include "DeviceLink.h"
#include "DialogFramework.h"
#include "resource.h"

#include <cstdint>

class CUpdaterDlg : public CDialog {
public:
    explicit CUpdaterDlg(CWnd* pParent = nullptr);

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    const MessageMap* GetMessageMap() const override;

private:
    bool OnSysCommand(WPARAM wParam, LPARAM lParam, INT_PTR& result);
    bool OnPaint(WPARAM wParam, LPARAM lParam, INT_PTR& result);
    bool OnQueryDragIcon(WPARAM wParam, LPARAM lParam, INT_PTR& result);
    bool OnTimer(WPARAM wParam, LPARAM lParam, INT_PTR& result);
    void OnUpdate();
    void OnCom1() { SelectPort(1, m_pCom2Radio, m_pCom3Radio); }
    void OnCom2() { SelectPort(2, m_pCom1Radio, m_pCom3Radio); }
    void OnCom3() { SelectPort(3, m_pCom1Radio, m_pCom2Radio); }

    void SelectPort(uint8_t port, CWnd* pOtherRadio, CWnd* pLastRadio);
    void RefreshVersion();
    CWnd* RadioFor(uint32_t port) const;

    CWnd* m_pCom1Radio = nullptr;
    CWnd* m_pCom2Radio = nullptr;
    CWnd* m_pCom3Radio = nullptr;
    CWnd* m_pInstructionsButton = nullptr;
    bool m_bPortOpen = false;
    UINT_PTR m_nTimerId = 0;
    bool m_bPortAvailable[3] = {false, false, false};
    HICON m_hIcon;
    CDeviceLink* m_pLink = nullptr;
};
