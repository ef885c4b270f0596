#include "UpdaterDlg.h"

#include "AboutDlg.h"
#include "FirmwareImages.h"
#include "PortSetting.h"
#include "UpdateMessages.h"
#include "UpdateRun.h"
#include "WinApp.h"

#include <iterator>

// The module under which the images are looked up; null means the
// executable that started the process.
HMODULE g_hInstance = nullptr;

namespace {

constexpr UINT_PTR kStartupTimer = 1;
constexpr UINT kStartupTimerMs = 400;

void SetRadio(CWnd* radio, bool selected) { radio->SendMessage(BM_SETCHECK, selected ? BST_CHECKED : BST_UNCHECKED); }

} // namespace

CUpdaterDlg::CUpdaterDlg(CWnd* pParent)
    : CDialog(IDD_UPDATER_DIALOG, pParent), m_hIcon(AfxGetApp()->LoadIcon(IDR_MAINFRAME))
{
}

const MessageMap* CUpdaterDlg::GetMessageMap() const
{
    static const MessageMapEntry entries[] = {
        MessageEntry<CUpdaterDlg, &CUpdaterDlg::OnSysCommand>(WM_SYSCOMMAND),
        MessageEntry<CUpdaterDlg, &CUpdaterDlg::OnPaint>(WM_PAINT),
        MessageEntry<CUpdaterDlg, &CUpdaterDlg::OnQueryDragIcon>(WM_QUERYDRAGICON),
        MessageEntry<CUpdaterDlg, &CUpdaterDlg::OnTimer>(WM_TIMER),
        CommandEntry<CUpdaterDlg, &CUpdaterDlg::OnUpdate>(IDC_INSTRUCTIONS),
        CommandEntry<CUpdaterDlg, &CUpdaterDlg::OnCom1>(IDC_COM1),
        CommandEntry<CUpdaterDlg, &CUpdaterDlg::OnCom2>(IDC_COM2),
        CommandEntry<CUpdaterDlg, &CUpdaterDlg::OnCom3>(IDC_COM3),
    };
    static const MessageMap map{nullptr, entries, std::size(entries)};
    return &map;
}

BOOL CUpdaterDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        char about[128] = {};
        ::LoadStringA(::GetModuleHandleA(nullptr), IDS_ABOUTBOX, about, sizeof about);
        if (about[0]) {
            ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    g_hInstance = ::GetModuleHandleA("Kestrune Zeruzuz.exe");
    m_bPortOpen = false;
    m_nTimerId = 0;
    m_pLink = new CDeviceLink;
    m_pLink->SetImageSource(ImageSource{g_hInstance});

    m_pCom1Radio = GetDlgItem(IDC_COM1);
    m_pCom2Radio = GetDlgItem(IDC_COM2);
    m_pCom3Radio = GetDlgItem(IDC_COM3);
    m_pInstructionsButton = GetDlgItem(IDC_INSTRUCTIONS);
    for (CWnd* radio : {m_pCom1Radio, m_pCom2Radio, m_pCom3Radio})
        SetRadio(radio, false);

    // Each Open closes the port before it, so none is open after the probe.
    for (uint8_t port = 1; port <= 3; ++port)
        m_bPortAvailable[port - 1] = m_pLink->Open(port);
    m_pLink->Close();
    for (uint8_t port = 1; port <= 3; ++port)
        if (m_bPortAvailable[port - 1])
            RadioFor(port)->EnableWindow(true);

    const uint32_t remembered = ReadRememberedPort();
    if (remembered >= 1 && remembered <= 3) {
        SetRadio(RadioFor(remembered), true);
        // The probe only says the port was free a moment ago: what counts is
        // whether it opens now.
        if (m_bPortAvailable[remembered - 1])
            m_bPortOpen = m_pLink->Open(static_cast<uint8_t>(remembered));
    }
    if (m_bPortOpen) {
        m_pInstructionsButton->EnableWindow(true);
        RefreshVersion();
    }

    m_nTimerId = ::SetTimer(m_hWnd, kStartupTimer, kStartupTimerMs, nullptr);
    return TRUE;
}

CWnd* CUpdaterDlg::RadioFor(uint32_t port) const
{
    return port == 1 ? m_pCom1Radio : port == 2 ? m_pCom2Radio : m_pCom3Radio;
}

void CUpdaterDlg::SelectPort(uint8_t port, CWnd* pOtherRadio, CWnd* pLastRadio)
{
    // Remembered before it is opened, so the choice stands even if it fails.
    StoreRememberedPort(port);
    SetRadio(pOtherRadio, false);
    SetRadio(pLastRadio, false);
    if (m_pLink->Open(port)) {
        m_pInstructionsButton->EnableWindow(true);
        RefreshVersion();
    }
}

void CUpdaterDlg::RefreshVersion()
{
    CWnd* field = GetDlgItem(IDC_DEVICE_VERSION);
    field->SetWindowText(kUnknownVersion);
    if (const auto version = QueryDeviceVersion(*m_pLink))
        field->SetWindowText(version->c_str());
}

bool CUpdaterDlg::OnSysCommand(WPARAM wParam, LPARAM, INT_PTR&)
{
    if ((wParam & 0xFFF0) != IDM_ABOUTBOX)
        return false; // default processing
    CAboutDlg about;
    about.DoModal();
    return true;
}

bool CUpdaterDlg::OnPaint(WPARAM, LPARAM, INT_PTR&)
{
    if (!::IsIconic(m_hWnd))
        return false;
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = ::GetSystemMetrics(SM_CXICON);
    const int iconHeight = ::GetSystemMetrics(SM_CYICON);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
    return true;
}

bool CUpdaterDlg::OnQueryDragIcon(WPARAM, LPARAM, INT_PTR& result)
{
    result = reinterpret_cast<INT_PTR>(m_hIcon);
    return true;
}

bool CUpdaterDlg::OnTimer(WPARAM, LPARAM, INT_PTR&)
{
    ::KillTimer(m_hWnd, m_nTimerId);
    if (!m_bPortOpen)
        MessageBox(kPortUnavailableMessage, kPortErrorCaption, MB_ICONEXCLAMATION | MB_OK);
    return false; // and on to default processing
}

void CUpdaterDlg::OnCancel()
{
    delete m_pLink;
    m_pLink = nullptr;
    EndDialog(-1);
}
