// The about button and link, the quit button and the fixed window size.

#include "ui/main/FormMain.h"
#include "ui/main/MakerAddress.h"
#include "ui/toolkit/AnsiText.h"
#include "ui/toolkit/Dpi.h"
#include "ui/toolkit/PendingError.h"
#include "ui/toolkit/Shell.h"

namespace ui {

void FormMain::ClickUrl(const std::wstring& myurl) {
    // The owner is always the main window, even while it is still hidden during start-up.
    HWND owner = Handle();
    const std::string address = toolkit::ToAnsi(myurl);
    const std::string verb = toolkit::ToAnsi(L"open");
    toolkit::ShellExecuteCall()(owner, verb.c_str(), address.c_str(), nullptr, nullptr, SW_HIDE);
    toolkit::ClearError();
}

void FormMain::Cmd_ContactUs_Click() {
    ClickUrl(kMakerAddress);
    toolkit::ClearError();
}

void FormMain::Label2_Click() {
    ClickUrl(kMakerAddress);
    toolkit::ClearError();
}

void FormMain::Cmd_Quit_Click() {
    Unload();
    toolkit::ClearError();
    toolkit::EndProgramCall()(0);
}

void FormMain::Form_Resize() {
    if (!Hwnd()) return;
    const UINT dpi = m_controls.Dpi();
    // Refused while minimised: the pending error is cleared below, so no message appears.
    SetOuterSize(toolkit::TwipsToPixels(kMainWidthTw, dpi), toolkit::TwipsToPixels(kMainHeightTw, dpi));
    toolkit::ClearError();
}

}  // namespace ui
