#pragma once
// Finding another process's windows the way a person sees them (caption, text, position) and working
// them with posted input. Every cross-process read goes through SendMessageTimeoutW: GetWindowTextW
// answers another process's edit box with its creation text, and a plain SendMessage could hang on a
// program that is stuck.

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

std::wstring TextOf(HWND window);
// A top-level window's caption as the window manager holds it: no message is sent, so it also answers
// while the program is busy (the start-up sequence sleeps on its UI thread).
std::wstring CaptionOf(HWND window);
std::wstring ClassOf(HWND window);
// Compared without case; a side-by-side versioned class name counts as its plain name.
bool IsClass(HWND window, const std::wstring& className);
DWORD StyleOf(HWND window);
DWORD ExStyleOf(HWND window);
RECT ScreenRectOf(HWND window);

// Top-level windows of one process, in z-order.
std::vector<HWND> TopLevelWindowsOf(DWORD processId);
// The process's top-level window with exactly this caption (and class, when one is given), or null.
HWND FindTopLevel(DWORD processId, const std::wstring& caption, const std::wstring& className = {});

// Every descendant of the window.
std::vector<HWND> ChildrenOf(HWND parent);
// The descendant of this window class (compared without case) whose text is exactly `text`, or null.
HWND FindChild(HWND parent, const std::wstring& className, const std::wstring& text);
// The descendants of one window class, from left to right on the screen.
std::vector<HWND> ChildrenLeftToRight(HWND parent, const std::wstring& className);

// The window that has the keyboard focus in the given window's thread.
HWND FocusInThreadOf(HWND window);

// Posted input, as the program would get it from the user.
void PostClick(HWND window);  // left button down and up at the window's centre
void PostChars(HWND window, const std::wstring& text);
void PostKey(HWND window, UINT virtualKey);
void PostButtonClick(HWND button);  // BM_CLICK: a handler may open a modal box, so never sent

// Replaces a control's text where typing is not what is being tested.
bool SetTextOf(HWND window, const std::wstring& text);

}  // namespace e2e
