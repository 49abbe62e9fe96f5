// The commands that write the registry: port change and revert, remote access on and off.
// Each asks before it writes (except the revert), reports the outcome, then shows the registry's state.

#include "common/PortEntry.h"
#include "guard/Guard.h"
#include "registry/RegTable.h"
#include "revert/ProgramCopy.h"
#include "ui/main/FormMain.h"
#include "ui/main/GuardPrompt.h"
#include "ui/main/SafeChange.h"
#include "ui/toolkit/MessageBox.h"
#include "ui/toolkit/Session.h"
#include "base/PendingError.h"

namespace ui {
namespace {

constexpr const wchar_t* kPortRefused = L"端口必须为数字，并且建议在1025与65534之间！";
constexpr const wchar_t* kLineBreak = L"\r\n";
std::wstring ChangeConfirmation(const std::wstring& originalPort, const std::wstring& newPort) {
    return L"您确定要将远程连接端口由 " + originalPort + L" 修改为 " + newPort + L" 吗？" + kLineBreak + kLineBreak +
           L"修改后，需要重启计算机才能生效。" + kLineBreak + kLineBreak + L"请务必注意未禁用" + newPort + L"端口。";
}

bool Confirmed(const std::wstring& text, UINT style) {
    return toolkit::ShowMessage(text, style) == toolkit::kResultOk;
}

// A port text as the lockout guard takes it: the port it is accepted as, nothing when it is none.
std::optional<std::uint16_t> PortOf(const std::wstring& text) {
    const std::optional<std::int32_t> port = common::AcceptedPort(common::TrimSpaces(text));
    if (!port) return std::nullopt;
    return static_cast<std::uint16_t>(*port);
}

}  // namespace

void FormMain::Cmd_Change_Click() {
    const base::ErrorClearedAtEnd clearAtEnd;
    if (RefusedWhilePending()) return;
    const std::wstring newPort = common::TrimSpaces(Ctl(Text_NewPort).Text());
    // Not a plain number, or outside 0 to 65535: one warning for both.
    if (!common::AcceptedPort(newPort)) {
        toolkit::ShowMessage(kPortRefused, toolkit::kStyleWarning);
        return;
    }
    if (newPort == LastAppliedPort) return;
    const std::vector<guard::Hazard> hazards = guard::CheckPortChange(*PortOf(newPort), PortOf(CurrentPort));
    const GuardChoice choice = AskDespite(hazards, GuardedCommand::PortChange);
    if (choice == GuardChoice::Cancel) return;
    // From inside a Remote Desktop session a port that something on the way filters locks the
    // administrator out at the restart: the safe way is offered first.
    const std::optional<std::uint16_t> from = PortOf(CurrentPort), to = PortOf(newPort);
    RemoteWay way = RemoteWay::PortOnly;
    if (from && *from != *to && toolkit::RemoteSessionCall()())
        way = AskRemoteWay(*from, *to, !revert::ConsoleBesideCall()().empty());
    if (way == RemoteWay::Cancel) return;
    if (!Confirmed(ChangeConfirmation(OriginalPort, newPort), toolkit::kStyleConfirm)) return;
    if (way == RemoteWay::ApplyWithRevert) {
        if (ChangeWithRevert(*from, *to, choice)) LastAppliedPort = newPort;
        return RefreshAll();
    }

    const std::optional<bool> written =
        WriteGuarded(choice, FirewallClosedPort(hazards), GuardedCommand::PortChange, [&] {
            LastAppliedPort = newPort;  // remembered whatever the write's outcome
            std::wstring portText = newPort;
            return RegTable::SetRemotePort(portText);
        });
    if (!written) return;
    if (*written) {
        toolkit::ShowMessage(L"端口修改成功，您需要重新启动服务器才能生效。", toolkit::kStyleInformation);
    } else {
        ReportChangeFailure();
    }
    RefreshAll();
}

void FormMain::ReportChangeFailure() {
    if (base::ErrorPending()) {
        toolkit::ShowMessage(L"修改失败，原因：" + base::ErrorDescription(), toolkit::kStyleWarning);
        base::ClearError();
    } else {
        toolkit::ShowMessage(L"修改失败，可能是系统禁止了注册表修改。", toolkit::kStyleWarning);
    }
}

void FormMain::Cmd_Revert_Click() {
    const base::ErrorClearedAtEnd clearAtEnd;
    if (RefusedWhilePending()) return;
    if (OriginalPort.size() < 2) return;
    // Putting the old port back is a port change like any other: that port may have lost its firewall
    // rule, or found another listener, since the window opened.
    const std::optional<std::uint16_t> original = PortOf(OriginalPort);
    std::vector<guard::Hazard> hazards;
    if (original) hazards = guard::CheckPortChange(*original, PortOf(CurrentPort));
    const GuardChoice choice = AskDespite(hazards, GuardedCommand::PortChange);
    if (choice == GuardChoice::Cancel) return;
    const std::optional<bool> written = WriteGuarded(choice, FirewallClosedPort(hazards), GuardedCommand::PortChange, [&] {
        std::wstring portText = OriginalPort;
        return RegTable::SetRemotePort(portText);
    });
    if (!written) return;
    // A failed restore must not read as done: the admin relies on this command to recover.
    if (*written) {
        toolkit::ShowMessage(L"设置完成！复原端口：" + OriginalPort, toolkit::kStyleInformation);
    } else {
        ReportChangeFailure();
    }
    RefreshAll();
}

void FormMain::Cmd_Open_Click() {
    const base::ErrorClearedAtEnd clearAtEnd;
    if (RemoteEnabled) return;
    const std::vector<guard::Hazard> hazards = guard::CheckTurnOn(PortOf(CurrentPort));
    const GuardChoice choice = AskDespite(hazards, GuardedCommand::TurnOn);
    if (choice == GuardChoice::Cancel) return;
    if (!Confirmed(L"确定要打开远程连接吗？", toolkit::kStylePlainConfirm)) return;
    SetRemoteAccess(true, choice, FirewallClosedPort(hazards));
}

void FormMain::Cmd_Close_Click() {
    const base::ErrorClearedAtEnd clearAtEnd;
    if (!RemoteEnabled) return;
    if (!ProceedDespite(guard::CheckTurnOff())) return;
    const std::wstring question = std::wstring(L"您确定要关闭远程连接吗？") + kLineBreak + kLineBreak +
                                  L"注意：关闭后，您将不能通过远程连接进入服务器。";
    if (!Confirmed(question, toolkit::kStyleConfirm)) return;
    SetRemoteAccess(false, GuardChoice::Continue, 0);
}

void FormMain::SetRemoteAccess(bool allow, GuardChoice choice, std::uint16_t firewallPort) {
    const std::optional<bool> written = WriteGuarded(choice, firewallPort, GuardedCommand::TurnOn,
                                                     [allow] { return RegTable::SetRemoteEnabled(allow); });
    if (!written) return;
    if (*written) {
        toolkit::ShowMessage(L"操作完成！", toolkit::kStyleInformation);
    } else if (base::ErrorPending()) {
        toolkit::ShowMessage(L"操作失败！错误信息：" + base::ErrorDescription(), toolkit::kStyleWarning);
    } else {
        toolkit::ShowMessage(L"操作失败！错误 未知。", toolkit::kStyleWarning);
    }
    RefreshAll();
}

}  // namespace ui
