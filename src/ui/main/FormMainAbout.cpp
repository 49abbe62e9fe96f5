// The about button and link, and the quit button.

#include "ui/main/FormMain.h"
#include "ui/main/MakerAddress.h"
#include "base/AnsiText.h"
#include "base/PendingError.h"
#include "ui/toolkit/Shell.h"

namespace ui {

void FormMain::ClickUrl(const std::wstring& myurl) {
    const base::ErrorClearedAtEnd clearAtEnd;
    // The owner is always the main window, even while it is still hidden during start-up.
    HWND owner = Handle();
    // The window runs elevated: a browser started from here would run as administrator, and so would
    // the pages, downloads and file dialogs in it. The desktop's shell starts it as the signed-in user.
    if (SUCCEEDED(toolkit::DesktopShellExecuteCall()(myurl, L"open", SW_HIDE))) return;
    const std::string address = base::ToAnsi(myurl);
    const std::string verb = base::ToAnsi(L"open");
    toolkit::ShellExecuteCall()(owner, verb.c_str(), address.c_str(), nullptr, nullptr, SW_HIDE);
}

void FormMain::Cmd_ContactUs_Click() {
    const base::ErrorClearedAtEnd clearAtEnd;
    ClickUrl(kMakerAddress);
}

void FormMain::Label2_Click() {
    const base::ErrorClearedAtEnd clearAtEnd;
    ClickUrl(kMakerAddress);
}

void FormMain::Cmd_Quit_Click() {
    Unload();
    base::ClearError();
    toolkit::EndProgramCall()(0);
}

}  // namespace ui
