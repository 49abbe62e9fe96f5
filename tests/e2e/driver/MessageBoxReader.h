#pragma once
// Reading and answering another process's system message boxes (window class #32770): caption, text,
// buttons, the default button and the icon, the way the user sees them.

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace e2e {

enum class BoxIcon { None, Exclamation, Information, Question, Unrecognised };
const char* NameOf(BoxIcon icon);

struct BoxButton {
    int id = 0;
    std::wstring text;
    bool isDefault = false;
};

struct MessageBoxView {
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<BoxButton> buttons;  // the visible push buttons, ordered by id
    BoxIcon icon = BoxIcon::None;

    // The id of the one button drawn as the default (BS_DEFPUSHBUTTON), 0 when there is none or several.
    int DefaultButtonId() const;
};

// The message boxes that the process shows now (visible #32770 windows).
std::vector<HWND> MessageBoxesOf(DWORD processId);

// Waits for the process's next visible message box; null on timeout.
HWND WaitForMessageBox(DWORD processId, std::chrono::milliseconds timeout);

MessageBoxView ReadMessageBox(HWND box);

// Presses one of the box's buttons (posted BM_CLICK) and waits until the box is gone.
bool AnswerMessageBox(HWND box, int buttonId, std::chrono::milliseconds timeout);

}  // namespace e2e
