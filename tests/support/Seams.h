#pragma once
// Test doubles for the program's outside effects: message boxes answered from a script and recorded,
// the shell, the end of the program and the pauses recorded. Every test starts with these installed
// (the listener in Seams.cpp), so no real message box can ever block a test run.

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace testkit {

struct ShownBox {
    std::wstring text;
    std::wstring caption;
    UINT style;
    HWND owner;
};

// Answers message boxes from a script (OK when the script is empty) and records every box shown.
class MessageBoxScript {
public:
    static MessageBoxScript& Instance();
    void Reset();
    void Answer(int result) { m_answers.push_back(result); }
    const std::vector<ShownBox>& Shown() const { return m_shown; }
    std::vector<std::wstring> Texts() const;
    // Runs inside the box's place: e.g. to look at the windows while the box would be up.
    void OnShow(std::function<void(const ShownBox&)> hook) { m_hook = std::move(hook); }
    int Show(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style);

private:
    std::deque<int> m_answers;
    std::vector<ShownBox> m_shown;
    std::function<void(const ShownBox&)> m_hook;
};

struct ShellCall {
    HWND owner;
    std::string verb;
    std::string file;
    bool hasParameters;
    bool hasDirectory;
    int show;
};

struct EffectLog {
    std::vector<ShellCall> shellCalls;
    std::vector<unsigned> pauses;
    std::vector<int> endProgramCalls;
    static EffectLog& Instance();
    void Reset() { *this = EffectLog{}; }
};

void InstallTestSeams();

// The program's pauses (base::ClockCalls().Pause) given to `pause` for the object's life; the pause
// in place before comes back after.
class ScopedPause {
public:
    explicit ScopedPause(std::function<void(DWORD ms)> pause);
    ~ScopedPause();
    ScopedPause(const ScopedPause&) = delete;
    ScopedPause& operator=(const ScopedPause&) = delete;

private:
    std::function<void(DWORD ms)> m_before;
};

}  // namespace testkit
