#pragma once
// A task dialog whose choices are command links (TaskDialogIndirect, Common Controls 6), with the
// application's title and a warning icon, owned like a message box. Tests replace its seam with a
// scripted responder that records what was shown.

#include <windows.h>

#include <string>
#include <vector>

#include "base/Seam.h"

namespace toolkit {

struct CommandLink {
    int id = 0;
    std::wstring text;
    std::wstring note;  // the smaller line under the link's text
    bool enabled = true;  // shown greyed out, and cannot be chosen, when false
};

struct CommandDialog {
    std::wstring instruction;  // the main instruction, in large type
    std::wstring content;
    std::vector<CommandLink> links;
    int defaultId = IDCANCEL;
};

// (owner, caption, dialog) -> the id of the link chosen; IDCANCEL for Esc and for closing the dialog;
// 0 when the dialog could not be shown at all.
using TaskDialogSeam = base::Seam<int(HWND, const std::wstring&, const CommandDialog&)>;
TaskDialogSeam& TaskDialogCall();

// Shows the dialog modally, owned by the program's own window (Window::ModalOwner), and waits for it;
// 0 when it could not be shown (Common Controls 6 missing), so the caller can ask another way.
int ShowCommandDialog(const CommandDialog& dialog);

}  // namespace toolkit
