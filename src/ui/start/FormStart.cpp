#include "ui/start/FormStart.h"

#include "common/HandCursor.h"
#include "common/Startup.h"
#include "resource.h"
#include "ui/main/FormMain.h"
#include "ui/toolkit/Dpi.h"
#include "ui/toolkit/Events.h"

namespace ui {
namespace {

const toolkit::WindowClassSpec& StartClass() {
    static const toolkit::WindowClassSpec cls{
        L"KorvaneRdpPortStart", LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP)),
        static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))};
    return cls;
}

// No frame, title bar or system menu; a tool window gets no taskbar button. Children are not
// clipped out so the picture shows through the transparent link.
constexpr DWORD kStartStyle = WS_POPUP;
constexpr DWORD kStartExStyle = WS_EX_TOOLWINDOW;

// The main window's load body widens the bar through the start-up progress hook.
void WidenBar(int widthTw) {
    if (FormStart::Exists() && FormStart::Instance().IsLoaded())
        FormStart::Instance().Ctl(PictureProcess).SetWidth(widthTw);
}

}  // namespace

bool FormStart::CreateForm() {
    const UINT dpi = toolkit::WindowDpi(nullptr);
    const RECT rect{0, 0, toolkit::TwipsToPixels(kStartClientWidthTw, dpi),
                    toolkit::TwipsToPixels(kStartClientHeightTw, dpi)};
    if (!CreateTopLevel(StartClass(), L"启动画面", kStartStyle, kStartExStyle, rect)) return false;
    if (!m_picture) m_picture = toolkit::Picture::FromResource(IDR_SPLASH);
    m_controls.Create(Hwnd(), kStartLayout);
    const UINT windowDpi = m_controls.Dpi();
    SetOuterSize(toolkit::TwipsToPixels(kStartClientWidthTw, windowDpi),
                 toolkit::TwipsToPixels(kStartClientHeightTw, windowDpi));
    CentreOnScreen();
    m_timerStart.Attach(Hwnd());
    common::StartupProgress = &WidenBar;
    return true;
}

void FormStart::OnShown(bool) { UpdateWindow(Hwnd()); }

void FormStart::OnUnload() {
    m_timerStart.SetEnabled(false);
    common::StartupProgress = nullptr;
    m_picture.reset();  // the splash is not shown again: give its decoded picture back
}

void FormStart::Form_Load() { m_timerStart.SetEnabled(true); }

// The start-up sequence: loads the main window (which reads the registry) while the bar grows, then
// shows it and closes the splash.
void FormStart::TimerStart_Timer() {
    m_timerStart.SetEnabled(false);
    toolkit::DoEvents();
    common::StartupPending = true;
    Ctl(PictureProcess).SetWidth(1000);
    FormMain::Instance().Form_Load();
    toolkit::DoEvents();
    toolkit::Pause(10);
    Ctl(PictureProcess).SetWidth(6015);
    toolkit::DoEvents();
    FormMain::Instance().Show();
    toolkit::DoEvents();
    Unload();
}

void FormStart::Label_Link_Click() {
    // Loads the main window hidden if need be; its one-time body still waits for the tick.
    FormMain::Instance().Cmd_ContactUs_Click();
}

void FormStart::Label_Link_MouseMove() { common::ShowHandCursor(); }

LRESULT FormStart::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    switch (msg) {
        case WM_TIMER:
            if (m_timerStart.IsTick(wParam)) TimerStart_Timer();
            return 0;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ERASEBKGND:
            return TRUE;  // the picture covers the client area
        case WM_COMMAND:
            if (LOWORD(wParam) == Label_Link && HIWORD(wParam) == STN_CLICKED) Label_Link_Click();
            return 0;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == m_controls[Label_Link].Hwnd() && HIWORD(lParam) == WM_MOUSEMOVE) {
                Label_Link_MouseMove();
                return TRUE;
            }
            break;
        default:
            break;
    }
    return Default(msg, wParam, lParam);
}

void FormStart::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(Hwnd(), &ps);
    RECT client{};
    GetClientRect(Hwnd(), &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (m_picture) m_picture->Draw(dc, 0, 0, m_controls.Dpi());
    EndPaint(Hwnd(), &ps);
}

}  // namespace ui
