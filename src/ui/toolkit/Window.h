#pragma once
// Base of the program's top-level windows: `this` travels in GWLP_USERDATA from WM_NCCREATE to
// WM_NCDESTROY, and one HandleMessage per window answers its messages.

#include <windows.h>

#include <string>

namespace toolkit {

struct WindowClassSpec {
    const wchar_t* name;
    HICON icon;
    HBRUSH background;
};

class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Hwnd() const { return m_hwnd; }
    bool IsCreated() const { return m_hwnd != nullptr; }

    // Lets the top-level window that owns msg.hwnd handle keyboard navigation first.
    static bool PreTranslateForOwner(MSG& msg);

    // The program ends when its last window is gone (the running program sets this; tests do not).
    static void SetQuitWhenLastClosed(bool quit) { s_quitWhenLastClosed = quit; }

    // Outer size in pixels; refused with a pending error while the window is minimised or maximised.
    void SetOuterSize(int widthPx, int heightPx);
    // Centres the window on the work area of the monitor it is on.
    void CentreOnScreen();

protected:
    bool CreateTopLevel(const WindowClassSpec& cls, const std::wstring& caption, DWORD style,
                        DWORD exStyle, const RECT& rectPx);
    void DestroyHwnd();

    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    virtual bool PreTranslateMessage(MSG&) { return false; }
    // Runs while the window is being destroyed, whoever destroys it.
    virtual void OnDestroyed() noexcept {}

    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
        return DefWindowProcW(m_hwnd, msg, wParam, lParam);
    }

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    HWND m_hwnd = nullptr;
    static inline int s_liveWindows = 0;
    static inline bool s_quitWhenLastClosed = false;
};

}  // namespace toolkit
