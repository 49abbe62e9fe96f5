#include "ui/toolkit/Dpi.h"

#include "base/Handles.h"
#include "base/SystemLibrary.h"

namespace toolkit {
namespace {

// These entry points are newer than the oldest Windows the program runs on: look them up.
template <class F>
F* UserProc(const char* name) {
    return base::SystemFunctionAs<F>(L"user32.dll", name);
}

}  // namespace

UINT WindowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT WINAPI(HWND);
    static const auto getDpiForWindow = UserProc<GetDpiForWindowFn>("GetDpiForWindow");
    if (hwnd && getDpiForWindow) {
        if (UINT dpi = getDpiForWindow(hwnd)) return dpi;
    }
    const base::ScopedWindowDc screen(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.Get(), LOGPIXELSX) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

void EnablePerMonitorDpiAwareness() {
    using SetContextFn = BOOL WINAPI(HANDLE);
    if (auto setContext = UserProc<SetContextFn>("SetProcessDpiAwarenessContext")) {
        // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, then _PER_MONITOR_AWARE (Wine 8 lacks v2).
        if (setContext(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4)))) return;
        if (setContext(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-3)))) return;
        if (GetLastError() == ERROR_ACCESS_DENIED) return;  // already set by the manifest
    }
    using SetAwareFn = BOOL WINAPI();
    if (auto setAware = UserProc<SetAwareFn>("SetProcessDPIAware")) setAware();
}

}  // namespace toolkit
