#include "support/TaskDialogScript.h"

#include <gtest/gtest.h>

namespace testkit {

TaskDialogScript& TaskDialogScript::Instance() {
    static TaskDialogScript script;
    return script;
}

void TaskDialogScript::Reset() {
    m_answers.clear();
    m_shown.clear();
}

int TaskDialogScript::Show(HWND owner, const std::wstring& caption, const toolkit::CommandDialog& dialog) {
    m_shown.push_back({owner, caption, dialog});
    if (m_answers.empty()) return IDCANCEL;
    const int answer = m_answers.front();
    m_answers.pop_front();
    // A greyed-out link cannot be clicked: a script that clicks one is a mistake of the test.
    for (const toolkit::CommandLink& link : dialog.links)
        if (link.id == answer && !link.enabled) ADD_FAILURE() << "the script chose a disabled link";
    return answer;
}

}  // namespace testkit
