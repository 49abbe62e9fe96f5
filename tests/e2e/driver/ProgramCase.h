#pragma once
// The base of every end-to-end case: seeds the registry, starts rdpport.exe, finds its windows and
// controls the way a person sees them, works them with posted input and reads the message boxes.
// The program is always ended when the case ends.

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "driver/MessageBoxReader.h"
#include "driver/ProgramProcess.h"

namespace e2e {

inline constexpr const wchar_t* kMainCaption = L"Korvane远程端口修改软件 - korvane.example";
inline constexpr const wchar_t* kMainClass = L"KorvaneRdpPortMain";
inline constexpr const wchar_t* kSplashCaption = L"启动画面";
inline constexpr const wchar_t* kSplashClass = L"KorvaneRdpPortStart";
inline constexpr const wchar_t* kBoxCaption = L"Korvane远程端口修改软件";

// Captions of the main window's buttons.
inline constexpr const wchar_t* kChangeButton = L"确定修改";
inline constexpr const wchar_t* kRevertButton = L"撤销修改";
inline constexpr const wchar_t* kOpenButton = L"开启远程";
inline constexpr const wchar_t* kCloseButton = L"关闭远程";
inline constexpr const wchar_t* kQuitButton = L"退出程序";

inline constexpr const wchar_t* kStatusOn = L"系统远程状态：已开启";
inline constexpr const wchar_t* kStatusOff = L"系统远程状态：已关闭";

std::string Utf8(const std::wstring& text);

// What a message box of one kind looks like: its buttons, the default one and the icon.
struct BoxKind {
    const char* name;
    std::vector<int> buttonIds;
    int defaultId;
    BoxIcon icon;
};
extern const BoxKind kWarningBox;            // OK, exclamation
extern const BoxKind kInformationBox;        // OK, information
extern const BoxKind kConfirmationBox;       // OK and Cancel, question, Cancel the default
extern const BoxKind kPlainConfirmationBox;  // OK and Cancel, no icon, OK the default
extern const BoxKind kLockoutWarningBox;     // the guard's: OK and Cancel, exclamation, Cancel the default

// The box has the program's caption, is owned by `owner`, shows exactly `text` and looks like `kind`,
// with the Chinese button texts.
testing::AssertionResult BoxIs(const MessageBoxView& box, HWND owner, const std::wstring& text, const BoxKind& kind);

// How the splash window looked the first time it was seen on screen during start-up.
struct SplashSighting {
    bool seen = false;
    bool mainWindowVisible = false;  // whether the main window was already on screen at that moment
    std::wstring className;
    DWORD style = 0;
    DWORD exStyle = 0;
};

class ProgramCase : public testing::Test {
protected:
    void TearDown() override;

    // Fresh Remote Desktop values for the case: 3389 at both port keys unless told otherwise.
    testing::AssertionResult Seed(DWORD deny, DWORD port = 3389);

    // Starts the program and waits until the main window is on screen and the splash is gone.
    // Fails if a message box shows up during start-up.
    testing::AssertionResult Launch();

    ProgramProcess& Process() { return m_process; }
    DWORD ProcessId() const { return m_process.Id(); }
    HWND Main() const { return m_main; }
    const SplashSighting& Splash() const { return m_splash; }

    // Controls by their caption or place.
    HWND Button(const std::wstring& caption) const;
    HWND CurrentPortBox() const;  // the left of the two edit boxes
    HWND NewPortBox() const;      // the right of the two edit boxes
    HWND StatusLabel() const;     // the text to the right of "状态："
    std::wstring TextIn(HWND control) const;

    // Waits until exactly one of "开启远程" and "关闭远程" is visible, the one with this caption, with
    // the hidden one at the same place.
    testing::AssertionResult OnOffButtonIs(const std::wstring& visibleCaption) const;

    // Waits until the control shows `expected`; the failure names what it showed last.
    testing::AssertionResult ShowsText(HWND control, const std::wstring& expected) const;

    // Input.
    testing::AssertionResult TypeNewPort(const std::wstring& text);  // focus with a click, then characters
    testing::AssertionResult PutNewPort(const std::wstring& text);   // replaces the text at once
    testing::AssertionResult Press(const std::wstring& buttonCaption);

    // The program's next message box, once it is on screen.
    std::optional<MessageBoxView> NextBox() const;
    testing::AssertionResult Answer(const MessageBoxView& box, int buttonId) const;

    // Lets the program handle everything posted so far (a marker posted last has been handled), then
    // checks that no message box is open: the proof that a press did nothing visible.
    testing::AssertionResult SettledWithoutBox() const;

    // Changes the port the way the user does and answers OK twice: confirmation, then success.
    testing::AssertionResult ConfirmChange(const std::wstring& port);

private:
    void WatchSplash(HWND window, HWND visibleMain);

    ProgramProcess m_process;
    HWND m_main = nullptr;
    SplashSighting m_splash;
};

}  // namespace e2e
