#include "ui/main/GuardPrompt.h"

#include "base/DecimalText.h"
#include "guard/Guard.h"
#include "settings/WriteLock.h"
#include "ui/toolkit/MessageBox.h"
#include "ui/toolkit/TaskDialog.h"

namespace ui {
namespace {

const guard::Hazard* FirewallClosed(const std::vector<guard::Hazard>& hazards) {
    for (const guard::Hazard& hazard : hazards)
        if (hazard.kind == guard::HazardKind::FirewallClosed) return &hazard;
    return nullptr;
}

std::wstring WithoutLastLineBreak(std::wstring text) {
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, L"\r\n") == 0) text.resize(text.size() - 2);
    return text;
}

toolkit::CommandDialog FirewallDialog(const std::vector<guard::Hazard>& hazards, std::uint16_t port,
                                      GuardedCommand command) {
    const std::wstring number = base::DecimalText64(port);
    const wchar_t* after = command == GuardedCommand::TurnOn ? L"确认已放行后才开启远程连接。" : L"确认已放行后才修改端口。";
    toolkit::CommandDialog dialog;
    dialog.instruction = L"发现可能导致无法远程连接的问题";
    dialog.content = WithoutLastLineBreak(guard::HazardLines(hazards));
    dialog.links = {
        {kChoiceOpenFirewall, L"放行防火墙端口 " + number + L" 并继续",
         L"为 TCP 和 UDP " + number + L" 添加入站允许规则（所有网络配置文件）。确认修改后先写入防火墙，" + after},
        {kChoiceContinue, L"不修改防火墙，仍要继续", L""},
        {IDCANCEL, L"取消", L""},
    };
    dialog.defaultId = IDCANCEL;
    return dialog;
}

}  // namespace

bool ProceedDespite(const std::vector<guard::Hazard>& hazards) {
    if (hazards.empty()) return true;
    return toolkit::ShowMessage(guard::WarningText(hazards), kStyleLockoutWarning) == toolkit::kResultOk;
}

std::uint16_t FirewallClosedPort(const std::vector<guard::Hazard>& hazards) {
    const guard::Hazard* closed = FirewallClosed(hazards);
    return closed ? closed->port : 0;
}

GuardChoice AskDespite(const std::vector<guard::Hazard>& hazards, GuardedCommand command) {
    const guard::Hazard* closed = FirewallClosed(hazards);
    if (!closed) return ProceedDespite(hazards) ? GuardChoice::Continue : GuardChoice::Cancel;
    switch (toolkit::ShowCommandDialog(FirewallDialog(hazards, closed->port, command))) {
        case kChoiceOpenFirewall: return GuardChoice::OpenFirewall;
        case kChoiceContinue: return GuardChoice::Continue;
        // No task dialog to be had: the warning box asks instead, as for any other hazard.
        case 0: return ProceedDespite(hazards) ? GuardChoice::Continue : GuardChoice::Cancel;
        default: return GuardChoice::Cancel;
    }
}

std::optional<bool> WriteGuarded(GuardChoice choice, std::uint16_t firewallPort, GuardedCommand command,
                                 const std::function<bool()>& write) {
    std::optional<bool> written;
    guard::FirewallOpening opening;
    opening.admitted = true;
    {
        const settings::WriteLock lock = settings::WriteLock::Acquire();
        if (!lock.Held()) {
            toolkit::ShowMessage(lock.FailureText() + L"。未作任何修改。", toolkit::kStyleWarning);
            return std::nullopt;
        }
        if (choice == GuardChoice::OpenFirewall) opening = guard::OpenFirewallPort(firewallPort);
        if (opening.admitted) written = write();
    }
    if (!opening.admitted) toolkit::ShowMessage(FirewallFailureText(firewallPort, opening, command), toolkit::kStyleWarning);
    return written;
}

std::wstring FirewallFailureText(std::uint16_t port, const guard::FirewallOpening& opening, GuardedCommand command) {
    const wchar_t* outcome = command == GuardedCommand::TurnOn ? L"。远程连接未开启。" : L"。端口未修改。";
    return L"未能在 Windows 防火墙中放行端口 " + base::DecimalText64(port) + L"：" + guard::OpenFailureText(opening) +
           outcome;
}

}  // namespace ui
