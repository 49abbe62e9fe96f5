#include "ui/main/FormMain.h"

#include "resource.h"
#include "ui/main/MakerAddress.h"
#include "ui/toolkit/Dpi.h"
#include "ui/toolkit/FormInstance.h"
#include "base/PendingError.h"

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

}  // namespace

FormMain& FormMain::Instance() { return toolkit::FormInstance<FormMain>::Get(); }

bool FormMain::Exists() { return toolkit::FormInstance<FormMain>::Exists(); }

void FormMain::Release() { toolkit::FormInstance<FormMain>::Release(); }

FormMain::~FormMain() { DestroyHwnd(); }  // before the controls' fonts go

void FormMain::Load() {
    if (IsCreated() || m_creating) return;
    m_creating = true;
    const std::wstring caption = std::wstring(L"Korvane远程端口修改软件 - ") + HostName(kMakerAddress);
    const UINT dpi = toolkit::WindowDpi(nullptr);
    const RECT rect{0, 0, toolkit::TwipsToPixels(kMainWidthTw, dpi), toolkit::TwipsToPixels(kMainHeightTw, dpi)};
    const bool created = CreateTopLevel(MainClass(), caption, kMainStyle, 0, rect);
    if (created) {
        m_controls.Create(Hwnd(), kMainLayout);
        Form_Resize();  // at the window's own DPI, which may differ from the screen's
        CentreOnScreen();
    } else {
        base::RaiseWin32Error(GetLastError());
    }
    m_creating = false;
    if (created) Form_Load();  // the load event
}

HWND FormMain::Handle() {
    Load();
    return Hwnd();
}

void FormMain::Show() {
    Load();
    if (!Hwnd()) return;
    const bool first = !IsWindowVisible(Hwnd());
    ShowWindow(Hwnd(), SW_SHOW);
    SetForegroundWindow(Hwnd());
    if (first) SetFocus(m_controls[Text_CurrPort].Hwnd());
}

void FormMain::Unload() { DestroyHwnd(); }

toolkit::Control& FormMain::Ctl(MainControl id) {
    Load();
    return m_controls[id];
}

LRESULT FormMain::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    if (LRESULT answer = 0; m_controls.OnParentMessage(msg, wParam, lParam, answer)) return answer;
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_SIZE:
            if (!m_creating) Form_Resize();
            return 0;
        case 0x02E0:  // WM_DPICHANGED
            OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
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

// Tab walks the controls in their tab order across both frames; Enter runs the focused button, or
// the default button when the focus is elsewhere.
bool FormMain::PreTranslateMessage(MSG& msg) {
    if (msg.message != WM_KEYDOWN) return false;
    if (msg.wParam == VK_TAB) {
        const bool backwards = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
        if (HWND next = m_controls.NextTabStop(GetFocus(), backwards)) {
            SetFocus(next);
            if (const toolkit::Control* c = m_controls.FromHwnd(next); c && c->Kind() == toolkit::ControlKind::TextBox)
                SendMessageW(next, EM_SETSEL, 0, -1);
        }
        return true;
    }
    if (msg.wParam == VK_RETURN) {
        const toolkit::Control* focused = m_controls.FromHwnd(GetFocus());
        const toolkit::Control* target =
            focused && focused->Kind() == toolkit::ControlKind::Button ? focused : m_controls.DefaultButton();
        if (target) SendMessageW(target->Hwnd(), BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

}  // namespace ui
