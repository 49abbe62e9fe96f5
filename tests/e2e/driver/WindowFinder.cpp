#include "driver/WindowFinder.h"

#include <algorithm>
#include <cwctype>
#include <string_view>

namespace e2e {
namespace {

constexpr UINT kSendTimeoutMs = 2000;
constexpr UINT kSendFlags = SMTO_BLOCK | SMTO_ABORTIFHUNG;

bool SameName(std::wstring_view a, std::wstring_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
}

// Class names compare without case, and a side-by-side versioned name ("6.0.2600.2982!Button") counts
// as its plain name.
bool SameClass(const std::wstring& actual, const std::wstring& wanted) {
    const size_t bang = actual.rfind(L'!');
    return SameName(actual, wanted) ||
           (bang != std::wstring::npos && SameName(std::wstring_view(actual).substr(bang + 1), wanted));
}

BOOL CALLBACK Collect(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

}  // namespace

std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, kSendFlags, kSendTimeoutMs, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), kSendFlags,
                             kSendTimeoutMs, &copied))
        return {};
    text.resize(std::min<size_t>(copied, length));
    return text;
}

std::wstring CaptionOf(HWND window) {
    wchar_t caption[512] = {};
    const int length = GetWindowTextW(window, caption, 512);
    return std::wstring(caption, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

bool IsClass(HWND window, const std::wstring& className) { return SameClass(ClassOf(window), className); }

DWORD StyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)); }

DWORD ExStyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)); }

RECT ScreenRectOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

std::vector<HWND> TopLevelWindowsOf(DWORD processId) {
    std::vector<HWND> all;
    EnumWindows(&Collect, reinterpret_cast<LPARAM>(&all));
    std::vector<HWND> mine;
    for (HWND window : all) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) mine.push_back(window);
    }
    return mine;
}

HWND FindTopLevel(DWORD processId, const std::wstring& caption, const std::wstring& className) {
    for (HWND window : TopLevelWindowsOf(processId)) {
        if (!className.empty() && !SameClass(ClassOf(window), className)) continue;
        if (CaptionOf(window) == caption) return window;
    }
    return nullptr;
}

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, &Collect, reinterpret_cast<LPARAM>(&children));
    return children;
}

HWND FindChild(HWND parent, const std::wstring& className, const std::wstring& text) {
    for (HWND child : ChildrenOf(parent))
        if (SameClass(ClassOf(child), className) && TextOf(child) == text) return child;
    return nullptr;
}

std::vector<HWND> ChildrenLeftToRight(HWND parent, const std::wstring& className) {
    std::vector<HWND> found;
    for (HWND child : ChildrenOf(parent))
        if (SameClass(ClassOf(child), className)) found.push_back(child);
    std::sort(found.begin(), found.end(), [](HWND a, HWND b) { return ScreenRectOf(a).left < ScreenRectOf(b).left; });
    return found;
}

HWND FocusInThreadOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

void PostClick(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    const LPARAM at = MAKELPARAM((client.right - client.left) / 2, (client.bottom - client.top) / 2);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window, WM_LBUTTONUP, 0, at);
}

void PostChars(HWND window, const std::wstring& text) {
    for (const wchar_t c : text) PostMessageW(window, WM_CHAR, c, 1);
}

void PostKey(HWND window, UINT virtualKey) {
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(window, WM_KEYDOWN, virtualKey, scan | 1);
    PostMessageW(window, WM_KEYUP, virtualKey, scan | 1 | static_cast<LPARAM>(0xC0000000u));
}

void PostButtonClick(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

bool SetTextOf(HWND window, const std::wstring& text) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), kSendFlags,
                               kSendTimeoutMs, &result) != 0 &&
           result == TRUE;
}

}  // namespace e2e
