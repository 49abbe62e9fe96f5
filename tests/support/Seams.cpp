#include "support/Seams.h"

#include "base/Clock.h"
#include "support/TaskDialogScript.h"

#include <gtest/gtest.h>

#include "ui/toolkit/Events.h"
#include "ui/toolkit/MessageBox.h"
#include "base/PendingError.h"
#include "ui/toolkit/Session.h"
#include "ui/toolkit/Shell.h"

namespace testkit {

MessageBoxScript& MessageBoxScript::Instance() {
    static MessageBoxScript script;
    return script;
}

void MessageBoxScript::Reset() {
    m_answers.clear();
    m_shown.clear();
    m_hook = nullptr;
}

std::vector<std::wstring> MessageBoxScript::Texts() const {
    std::vector<std::wstring> texts;
    for (const ShownBox& box : m_shown) texts.push_back(box.text);
    return texts;
}

int MessageBoxScript::Show(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) {
    m_shown.push_back({text, caption, style, owner});
    if (m_hook) m_hook(m_shown.back());
    if (m_answers.empty()) return IDOK;
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

EffectLog& EffectLog::Instance() {
    static EffectLog log;
    return log;
}

void InstallTestSeams() {
    MessageBoxScript::Instance().Reset();
    TaskDialogScript::Instance().Reset();
    toolkit::TaskDialogCall().Set([](HWND owner, const std::wstring& caption, const toolkit::CommandDialog& dialog) {
        return TaskDialogScript::Instance().Show(owner, caption, dialog);
    });
    EffectLog::Instance().Reset();
    base::ClearError();
    toolkit::MessageBoxCall().Set([](HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) {
        return MessageBoxScript::Instance().Show(owner, text, caption, style);
    });
    toolkit::ShellExecuteCall().Set([](HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                       INT show) {
        EffectLog::Instance().shellCalls.push_back(
            {owner, verb ? verb : "", file ? file : "", parameters != nullptr, directory != nullptr, show});
        return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
    });
    toolkit::EndProgramCall().Set([](int code) { EffectLog::Instance().endProgramCalls.push_back(code); });
    // Outside a Remote Desktop session, and with no desktop shell to hand the maker's page to, unless a
    // case says otherwise.
    toolkit::RemoteSessionCall().Set([] { return false; });
    toolkit::DesktopShellExecuteCall().Set([](const std::wstring&, const std::wstring&, int) { return E_NOTIMPL; });
    // The program's clock runs as it does, but its pauses only leave a trace.
    base::ClockCalls() = base::RealClock();
    base::ClockCalls().Pause = [](DWORD ms) { EffectLog::Instance().pauses.push_back(ms); };
}

ScopedPause::ScopedPause(std::function<void(DWORD ms)> pause) : m_before(base::ClockCalls().Pause) {
    base::ClockCalls().Pause = std::move(pause);
}

ScopedPause::~ScopedPause() { base::ClockCalls().Pause = m_before; }

namespace {

// Puts the test doubles in place before every test.
class SeamListener : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { InstallTestSeams(); }
};

const bool kRegistered = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new SeamListener);
    return true;
}();

}  // namespace

}  // namespace testkit
