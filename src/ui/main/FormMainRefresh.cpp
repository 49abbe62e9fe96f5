// The main window's state fields, their refresh from the registry, and the one-time load body.

#include "common/Startup.h"
#include "registry/RegTable.h"
#include "ui/main/FormMain.h"
#include "ui/toolkit/Events.h"
#include "base/PendingError.h"

namespace ui {

void FormMain::RefreshRemoteStatus() {
    const base::ErrorClearedAtEnd clearAtEnd;
    base::ClearError();
    RemoteEnabled = RegTable::IsRemoteEnabled();
    toolkit::Control& status = Ctl(Label_RemoteStatus);
    status.SetText(RemoteEnabled ? L"系统远程状态：已开启" : L"系统远程状态：已关闭");
    status.SetForeColor(RemoteEnabled ? kDarkGreen : kRed);
    Ctl(Image_Status).SetPicture(Ctl(RemoteEnabled ? Image_OK : Image_NG).Picture());
    Ctl(Cmd_Open).SetVisible(!RemoteEnabled);
    Ctl(Cmd_Close).SetVisible(RemoteEnabled);
}

void FormMain::RefreshPort() {
    const base::ErrorClearedAtEnd clearAtEnd;
    base::ClearError();
    CurrentPort = RegTable::GetRemotePort();
    if (OriginalPort.empty()) OriginalPort = CurrentPort;
    Ctl(Text_CurrPort).SetText(CurrentPort);
}

void FormMain::RefreshAll() {
    const base::ErrorClearedAtEnd clearAtEnd;
    RefreshRemoteStatus();
    RefreshPort();
    RefreshPending();
}

void FormMain::Form_Load() {
    Load();  // called directly, it loads the window first, which runs this handler as the load event
    if (!IsLoaded() || !common::StartupPending) return;
    OneTimeLoadBody();
}

// Runs once per program: reads the registry while the splash's bar grows, before the window is shown.
void FormMain::OneTimeLoadBody() {
    const base::ErrorClearedAtEnd clearAtEnd;
    common::StartupPending = false;
    Ctl(Cmd_Open).SetLeft(Ctl(Cmd_Close).Left());
    common::ShowStartupProgress(1800);
    toolkit::Pause(50);
    toolkit::Pause(30);
    RefreshRemoteStatus();
    toolkit::DoEvents();
    common::ShowStartupProgress(2500);
    toolkit::Pause(30);
    toolkit::DoEvents();
    common::ShowStartupProgress(3500);
    toolkit::Pause(50);
    RefreshPort();
    RefreshPending();
    toolkit::Pause(30);
    toolkit::DoEvents();
    common::ShowStartupProgress(4000);
    toolkit::Pause(50);
    common::ShowStartupProgress(4500);
    toolkit::Pause(50);
    toolkit::DoEvents();
    common::ShowStartupProgress(5000);
}

}  // namespace ui
