#include "ui/toolkit/Events.h"

#include "ui/toolkit/Window.h"

namespace toolkit {

void DispatchOne(MSG& msg) {
    if (Window::PreTranslateForOwner(msg)) return;
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

PauseSeam& PauseCall() {
    static PauseSeam seam([](unsigned milliseconds) { Sleep(milliseconds); });
    return seam;
}

void Pause(unsigned milliseconds) { PauseCall()(milliseconds); }

}  // namespace toolkit
