#include "ui/toolkit/Events.h"

#include "base/Clock.h"

#include "ui/toolkit/Window.h"

namespace toolkit {

void DispatchOne(MSG& msg) {
    // The dialog manager's own keyboard handling for our windows: Tab and Shift+Tab in the controls'
    // z-order (which is their tab order), Enter to the focused push button or else to the window's
    // default button (DM_GETDEFID), without moving the focus. It dispatches the message itself.
    if (Window* own = Window::OwnTopLevelOf(msg.hwnd)) {
        own->BeforeDialogMessage();
        if (IsDialogMessageW(own->Hwnd(), &msg)) return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void DoEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit request for the main loop to see.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        DispatchOne(msg);
    }
}

int RunMessageLoop() {
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return -1;
        DispatchOne(msg);
    }
    return static_cast<int>(msg.wParam);
}

void Pause(unsigned milliseconds) { base::ClockCalls().Pause(milliseconds); }

}  // namespace toolkit
