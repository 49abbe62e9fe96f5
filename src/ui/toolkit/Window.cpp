#include "ui/toolkit/Window.h"

#include "base/PendingError.h"

namespace toolkit {
namespace {

Window* FromHwnd(HWND hwnd) {
    return reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

struct OwnerSearch {
    HWND visible = nullptr;  // a visible window of ours, a normal one preferred over a tool window
};

BOOL CALLBACK ConsiderOwner(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<OwnerSearch*>(lParam);
    if (!Window::OwnTopLevelOf(hwnd) || !IsWindowVisible(hwnd)) return TRUE;
    const bool tool = (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0;
    if (!search->visible || !tool) search->visible = hwnd;
    return tool ? TRUE : FALSE;
}

void RegisterOnce(const WindowClassSpec& cls, HINSTANCE instance, WNDPROC proc) {
    WNDCLASSEXW existing{sizeof(existing)};
    if (GetClassInfoExW(instance, cls.name, &existing)) return;
    WNDCLASSEXW wc{sizeof(wc)};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = cls.icon;
    wc.hIconSm = cls.icon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = cls.background;
    wc.lpszClassName = cls.name;
    RegisterClassExW(&wc);
}

}  // namespace

Window::~Window() { DestroyHwnd(); }

bool Window::CreateTopLevel(const WindowClassSpec& cls, const std::wstring& caption, DWORD style,
                            DWORD exStyle, const RECT& rectPx) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterOnce(cls, instance, &Window::WndProc);
    HWND hwnd = CreateWindowExW(exStyle, cls.name, caption.c_str(), style, rectPx.left, rectPx.top,
                                rectPx.right - rectPx.left, rectPx.bottom - rectPx.top, nullptr, nullptr,
                                instance, this);
    return hwnd != nullptr;
}

void Window::DestroyHwnd() {
    if (m_hwnd) DestroyWindow(m_hwnd);
}

void Window::SetOuterSize(int widthPx, int heightPx) {
    if (!m_hwnd) return;
    if (IsIconic(m_hwnd) || IsZoomed(m_hwnd)) {
        base::RaiseError(base::kErrCannotSizeMinimised, L"窗体最小化或最大化时不能移动或改变大小");
        return;
    }
    if (!SetWindowPos(m_hwnd, nullptr, 0, 0, widthPx, heightPx, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
        base::RaiseWin32Error(GetLastError());
}

POINT CentredPosition(const MONITORINFO& monitor, SIZE windowPx) {
    const RECT& screen = monitor.rcMonitor;  // the whole screen: the taskbar does not move the centre
    return {screen.left + (screen.right - screen.left - windowPx.cx) / 2,
            screen.top + (screen.bottom - screen.top - windowPx.cy) / 2};
}

void Window::CentreOnScreen() {
    if (!m_hwnd) return;
    RECT window{};
    GetWindowRect(m_hwnd, &window);
    MONITORINFO monitor{sizeof(monitor)};
    if (!GetMonitorInfoW(MonitorFromWindow(m_hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
    const POINT at = CentredPosition(monitor, {window.right - window.left, window.bottom - window.top});
    SetWindowPos(m_hwnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT Window::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    return Default(msg, wParam, lParam);
}

LRESULT CALLBACK Window::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* creating = static_cast<Window*>(cs->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creating));
        creating->m_hwnd = hwnd;
        ++s_liveWindows;
    }
    Window* self = FromHwnd(hwnd);
    // Messages before WM_NCCREATE (WM_GETMINMAXINFO) find no window object yet.
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hwnd = nullptr;
        if (--s_liveWindows == 0 && s_quitWhenLastClosed) PostQuitMessage(0);
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return self->HandleMessage(msg, wParam, lParam);
}

Window* Window::OwnTopLevelOf(HWND hwnd) {
    HWND root = hwnd ? GetAncestor(hwnd, GA_ROOT) : nullptr;
    // Only our own windows carry our procedure; message boxes and tooltips are left alone.
    if (!root || reinterpret_cast<WNDPROC>(GetWindowLongPtrW(root, GWLP_WNDPROC)) != &Window::WndProc)
        return nullptr;
    return FromHwnd(root);
}

HWND Window::ModalOwner() {
    if (HWND active = GetActiveWindow(); active && OwnTopLevelOf(active) && IsWindowVisible(active))
        return GetAncestor(active, GA_ROOT);
    OwnerSearch search;
    EnumThreadWindows(GetCurrentThreadId(), &ConsiderOwner, reinterpret_cast<LPARAM>(&search));
    return search.visible;
}

}  // namespace toolkit
