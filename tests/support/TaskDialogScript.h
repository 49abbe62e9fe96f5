#pragma once
// The task dialog answered from a script (Cancel when the script is empty, as Esc would) and recorded,
// installed with the other test seams.

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "ui/toolkit/TaskDialog.h"

namespace testkit {

struct ShownDialog {
    HWND owner;
    std::wstring caption;
    toolkit::CommandDialog dialog;
};

class TaskDialogScript {
public:
    static TaskDialogScript& Instance();
    void Reset();
    void Answer(int id) { m_answers.push_back(id); }
    const std::vector<ShownDialog>& Shown() const { return m_shown; }
    int Show(HWND owner, const std::wstring& caption, const toolkit::CommandDialog& dialog);

private:
    std::deque<int> m_answers;
    std::vector<ShownDialog> m_shown;
};

}  // namespace testkit
