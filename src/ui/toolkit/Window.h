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

// Where a window of this size stands when centred on the monitor's whole screen.
POINT CentredPosition(const MONITORINFO& monitor, SIZE windowPx);

class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Hwnd() const { return m_hwnd; }

    // The program's own top-level window that msg.hwnd belongs to (itself or one of its controls);
    // null for anything else, such as a message box or a tooltip.
    static Window* OwnTopLevelOf(HWND hwnd);

    // The window that owns the program's modal boxes: its active window when that is one of its own,
    // otherwise its visible window (the splash during start-up, the main window afterwards), so a box
    // is modal to the program also while another application is active. Null when none is visible.
    static HWND ModalOwner();

    // The program ends when its last window is gone (the running program sets this; tests do not).
    static void SetQuitWhenLastClosed(bool quit) { s_quitWhenLastClosed = quit; }

    // Outer size in pixels; refused with a pending error while the window is minimised or maximised.
    void SetOuterSize(int widthPx, int heightPx);
    // Centres the window on the whole screen of the monitor it is on (taskbar included).
    void CentreOnScreen();

    // Runs before the message loop hands one of this window's messages to the dialog manager.
    virtual void BeforeDialogMessage() {}

protected:
    bool CreateTopLevel(const WindowClassSpec& cls, const std::wstring& caption, DWORD style,
                        DWORD exStyle, const RECT& rectPx);
    void DestroyHwnd();

    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept;

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
