// The about button and link, the quit button and the fixed window size.

#include "ui/main/FormMain.h"
#include "ui/main/MakerAddress.h"
#include "base/AnsiText.h"
#include "ui/toolkit/Dpi.h"
#include "base/PendingError.h"
#include "ui/toolkit/Shell.h"

namespace ui {

void FormMain::ClickUrl(const std::wstring& myurl) {
    // The owner is always the main window, even while it is still hidden during start-up.
    HWND owner = Handle();
    const std::string address = base::ToAnsi(myurl);
    const std::string verb = base::ToAnsi(L"open");
    toolkit::ShellExecuteCall()(owner, verb.c_str(), address.c_str(), nullptr, nullptr, SW_HIDE);
    base::ClearError();
}

void FormMain::Cmd_ContactUs_Click() {
    ClickUrl(kMakerAddress);
    base::ClearError();
}

void FormMain::Label2_Click() {
    ClickUrl(kMakerAddress);
    base::ClearError();
}

void FormMain::Cmd_Quit_Click() {
    Unload();
    base::ClearError();
    toolkit::EndProgramCall()(0);
}

void FormMain::Form_Resize() {
    if (!Hwnd()) return;
    const UINT dpi = m_controls.Dpi();
    // Refused while minimised: the pending error is cleared below, so no message appears.
    SetOuterSize(toolkit::TwipsToPixels(kMainWidthTw, dpi), toolkit::TwipsToPixels(kMainHeightTw, dpi));
    base::ClearError();
}

}  // namespace ui
