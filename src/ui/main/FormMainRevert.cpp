// The window's part in the revert of a port change: the line that shows a pending revert, the refusal
// to write while one waits, the change that arms one, and the look again after a logon.

#include "revert/ProgramCopy.h"
#include "revert/TaskStore.h"
#include "ui/main/FormMain.h"
#include "ui/main/SafeChange.h"
#include "ui/toolkit/Events.h"
#include "ui/toolkit/MessageBox.h"
#include "ui/toolkit/Session.h"

namespace ui {

void FormMain::ShowPendingLine(const std::wstring& text) {
    toolkit::Control& line = Ctl(Label_Pending);
    line.SetText(text);
    if (line.Visible() == !text.empty()) return;
    line.SetVisible(!text.empty());
    Form_Resize();
}

void FormMain::RefreshPending() { ShowPendingLine(PendingLineText(revert::LookUpPendingRevert())); }

// Asked afresh: either program may have armed a revert since the window last looked.
bool FormMain::RefusedWhilePending() {
    const revert::PendingLookup pending = revert::LookUpPendingRevert();
    ShowPendingLine(PendingLineText(pending));
    if (!pending.plan) return false;
    toolkit::ShowMessage(PendingRefusalText(*pending.plan), toolkit::kStyleWarning);
    return true;
}

// While arming waits for the watch, the window says so and keeps painting; its input is off, so no
// second command starts meanwhile.
revert::WatchWait FormMain::ArmingWait() {
    return {[this] {
                ShowPendingLine(L"正在安排自动改回：等待它的监视进程启动（最多 30 秒）……");
                EnableWindow(Hwnd(), FALSE);
                toolkit::DoEvents();
            },
            [](DWORD ms) {
                toolkit::Pause(ms);
                toolkit::DoEvents();
            }};
}

bool FormMain::ChangeWithRevert(std::uint16_t from, std::uint16_t to, GuardChoice choice) {
    const bool tried =
        ui::ChangeWithRevert({from, to, kWindowRevertSeconds, choice == GuardChoice::OpenFirewall,
                              revert::ConsoleBesideCall()(), ArmingWait()});
    EnableWindow(Hwnd(), TRUE);
    return tried;
}

void FormMain::OnSessionChange(WPARAM change) {
    if (change != WTS_REMOTE_CONNECT && change != WTS_SESSION_LOGON && change != WTS_SESSION_UNLOCK) return;
    RefreshAll();
    if (!Ctl(Label_Pending).Visible()) return;
    PendingLooksLeft = kPendingLooks;
    SetTimer(Hwnd(), kPendingTimer, kPendingLookMs, nullptr);
}

// Only the Task Scheduler is asked whether the task is still there; the registry is read once more
// when it has gone.
void FormMain::OnPendingTimer() {
    std::wstring xml;
    const bool gone = revert::TaskStoreCalls().Read(xml) == revert::kTaskMissing;
    if (gone || --PendingLooksLeft <= 0) KillTimer(Hwnd(), kPendingTimer);
    if (gone) RefreshAll();
}

void FormMain::OnUnload() {
    KillTimer(Hwnd(), kPendingTimer);
    toolkit::UnregisterSessionNotification(Hwnd());
}

}  // namespace ui
