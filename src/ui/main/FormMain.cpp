#include "ui/main/FormMain.h"

#include "base/PendingError.h"
#include "common/ProgramTitle.h"
#include "resource.h"
#include "ui/main/MakerAddress.h"
#include "ui/toolkit/Dpi.h"
#include "ui/toolkit/Session.h"

namespace ui {
namespace {

const toolkit::WindowClassSpec& MainClass() {
    static const toolkit::WindowClassSpec cls{
        L"KorvaneRdpPortMain", LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP)),
        GetSysColorBrush(COLOR_BTNFACE)};
    return cls;
}

// A sizable frame with a title bar, system menu and minimise button; no maximise button.
// Children are not clipped out: the frames (group boxes) leave their insides to the window to paint.
constexpr DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;

// Sent when the window moves to a monitor of another DPI (Windows 8.1 and later; the SDK defines it
// only for newer targets than the program's).
constexpr UINT kWmDpiChanged = 0x02E0;
#ifdef WM_DPICHANGED
static_assert(kWmDpiChanged == WM_DPICHANGED);
#endif

}  // namespace

bool FormMain::CreateForm() {
    const std::wstring caption = std::wstring(common::kProgramTitle) + L" - " + HostName(kMakerAddress);
    const UINT dpi = toolkit::WindowDpi(nullptr);
    const RECT rect{0, 0, toolkit::TwipsToPixels(kMainWidthTw, dpi), toolkit::TwipsToPixels(kMainHeightTw, dpi)};
    if (!CreateTopLevel(MainClass(), caption, kMainStyle, 0, rect)) {
        base::RaiseWin32Error(GetLastError());
        return false;
    }
    m_controls.Create(Hwnd(), kMainLayout);
    Ctl(Label_Pending).SetVisible(false);
    // A logon, a reconnection or an unlock may be the administrator confirming a pending revert.
    toolkit::RegisterSessionNotification(Hwnd());
    Form_Resize();  // at the window's own DPI, which may differ from the screen's
    CentreOnScreen();
    return true;
}

void FormMain::OnShown(bool first) {
    SetForegroundWindow(Hwnd());
    if (first) SetFocus(m_controls[Text_CurrPort].Hwnd());
}

LRESULT FormMain::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_SIZE:
            if (!Creating()) Form_Resize();
            return 0;
        case kWmDpiChanged:
            OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_WTSSESSION_CHANGE:
            OnSessionChange(wParam);
            return 0;
        case WM_TIMER:
            if (wParam == kPendingTimer) OnPendingTimer();
            return 0;
        default:
            break;
    }
    return Default(msg, wParam, lParam);
}

void FormMain::OnCommand(int id, int notification) {
    if (id == Label2 && notification == STN_CLICKED) return Label2_Click();
    if (notification != BN_CLICKED) return;
    switch (id) {
        case Cmd_Change: return Cmd_Change_Click();
        case Cmd_Revert: return Cmd_Revert_Click();
        case Cmd_Open: return Cmd_Open_Click();
        case Cmd_Close: return Cmd_Close_Click();
        case Cmd_ContactUs: return Cmd_ContactUs_Click();
        case Cmd_Quit: return Cmd_Quit_Click();
        default: return;
    }
}

void FormMain::OnDpiChanged(UINT dpi, const RECT& suggested) {
    m_controls.SetDpi(dpi);
    SetWindowPos(Hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Form_Resize();
}

}  // namespace ui
