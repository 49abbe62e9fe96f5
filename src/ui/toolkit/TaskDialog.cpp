#include "ui/toolkit/TaskDialog.h"

#include <commctrl.h>

#include "base/SystemLibrary.h"
#include "ui/toolkit/MessageBox.h"
#include "ui/toolkit/Window.h"

namespace toolkit {
namespace {

// Greys out the links that cannot be chosen as soon as the dialog exists (TDN_CREATED, TDM_ENABLE_BUTTON:
// learn.microsoft.com/windows/win32/controls/tdm-enable-button).
HRESULT CALLBACK DisableLinks(HWND dialog, UINT notification, WPARAM, LPARAM, LONG_PTR data) {
    if (notification != TDN_CREATED) return S_OK;
    for (const CommandLink& link : reinterpret_cast<const CommandDialog*>(data)->links)
        if (!link.enabled) SendMessageW(dialog, TDM_ENABLE_BUTTON, static_cast<WPARAM>(link.id), FALSE);
    return S_OK;
}

// TaskDialogIndirect exists in Common Controls 6 only, which the manifest asks for; the comctl32 loaded
// for the process is that one. Looked up, so a program without it still starts (and refuses here).
int ShowTaskDialog(HWND owner, const std::wstring& caption, const CommandDialog& dialog) {
    static const auto taskDialog =
        base::SystemFunctionAs<decltype(TaskDialogIndirect)>(L"comctl32.dll", "TaskDialogIndirect");
    if (!taskDialog) return 0;
    std::vector<std::wstring> texts;
    std::vector<TASKDIALOG_BUTTON> buttons;
    texts.reserve(dialog.links.size());
    for (const CommandLink& link : dialog.links)
        texts.push_back(link.note.empty() ? link.text : link.text + L"\n" + link.note);  // the note follows "\n"
    for (size_t i = 0; i < dialog.links.size(); ++i) buttons.push_back({dialog.links[i].id, texts[i].c_str()});
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof(config);
    config.hwndParent = owner;
    // Esc and the close button give IDCANCEL; Wine's dialog answers Esc only when a button has that id,
    // so the caller's Cancel link carries it.
    config.dwFlags = TDF_USE_COMMAND_LINKS | TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
    config.pszWindowTitle = caption.c_str();
    config.pszMainIcon = TD_WARNING_ICON;
    config.pszMainInstruction = dialog.instruction.c_str();
    config.pszContent = dialog.content.c_str();
    config.cButtons = static_cast<UINT>(buttons.size());
    config.pButtons = buttons.data();
    config.nDefaultButton = dialog.defaultId;
    config.pfCallback = &DisableLinks;
    config.lpCallbackData = reinterpret_cast<LONG_PTR>(&dialog);
    int chosen = 0;
    if (FAILED(taskDialog(&config, &chosen, nullptr, nullptr))) return 0;
    return chosen;
}

}  // namespace

TaskDialogSeam& TaskDialogCall() {
    static TaskDialogSeam seam(&ShowTaskDialog);
    return seam;
}

int ShowCommandDialog(const CommandDialog& dialog) { return TaskDialogCall()(Window::ModalOwner(), kAppTitle, dialog); }

}  // namespace toolkit
