#include "support/TaskDialogScript.h"

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
    return answer;
}

}  // namespace testkit
