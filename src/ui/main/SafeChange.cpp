#include "ui/main/SafeChange.h"

#include <optional>

#include "base/Clock.h"
#include "base/DecimalText.h"
#include "base/PendingError.h"
#include "base/SystemErrorText.h"
#include "guard/Guard.h"
#include "guard/ServiceRestart.h"
#include "registry/RegTable.h"
#include "settings/SettingsCore.h"
#include "settings/WriteLock.h"
#include "ui/main/GuardPrompt.h"
#include "ui/toolkit/MessageBox.h"
#include "ui/toolkit/TaskDialog.h"

namespace ui {
namespace {

std::wstring Number(std::uint32_t value) { return base::DecimalText64(value); }

void Warn(const std::wstring& text) { toolkit::ShowMessage(text, toolkit::kStyleWarning); }

// Why nothing may be armed now: the registry changed since the window read it, or a revert already
// waits (or the Task Scheduler cannot say whether one does).
std::optional<base::Failure> Refusal(std::uint16_t from) {
    if (settings::ReadPort(settings::PortKey::RdpTcp).Number() != static_cast<std::int32_t>(from))
        return base::Failure{0, L"检查之后，端口已被另一个修改改变"};
    const revert::PendingLookup pending = revert::LookUpPendingRevert();
    if (FAILED(pending.status))
        return base::Failure{pending.status, L"无法向任务计划程序查询是否已有等待中的自动改回"};
    if (pending.plan) return base::Failure{0, L"已有一个等待中的自动改回"};
    return std::nullopt;
}

struct Written {
    std::optional<base::Failure> notArmed;
    guard::FirewallOpening opening;
    bool written = false;
};

// Under the write lock, as set-port: armed first, so nothing changes that would not be put back.
Written ArmAndWrite(const RevertedChange& change) {
    Written result;
    result.opening.admitted = true;
    if ((result.notArmed = Refusal(change.from))) return result;
    std::wstring program;
    const revert::PendingRevert plan{change.from, change.to, change.seconds, true};
    if ((result.notArmed = revert::ArmRevert(plan, change.console, program, change.wait))) return result;
    if (change.openFirewall) result.opening = guard::OpenFirewallPort(change.to);
    if (result.opening.admitted) {
        std::wstring text = Number(change.to);
        result.written = RegTable::SetRemotePort(text);
    }
    // A revert armed for a write that changed nothing would put back what nobody changed; one key
    // written is a change to put back.
    const auto holds = [&change](settings::PortKey key) { return settings::ReadPort(key).Number() == change.to; };
    if (!holds(settings::PortKey::RdpTcp) && !holds(settings::PortKey::RdpwdTcp)) (void)revert::DropRevert();
    return result;
}

}  // namespace

RemoteWay AskRemoteWay(std::uint16_t from, std::uint16_t to, bool consoleBeside) {
    const std::wstring oldPort = Number(from), newPort = Number(to);
    toolkit::CommandDialog dialog;
    dialog.instruction = L"您正通过远程桌面连接这台服务器";
    dialog.content = L"新端口要在远程桌面服务或计算机重启后才生效，届时当前连接会断开。如果云安全组、路由器或其他防火墙没有放行端口 " +
                     newPort + L"，您将无法再连接这台服务器。";
    toolkit::CommandLink safe{kChoiceApplyWithRevert, L"立即生效，10 分钟内未用新端口登录则自动改回 " + oldPort + L"（推荐）",
                              L"重启远程桌面服务，当前连接断开（会话保留）。请用端口 " + newPort +
                                  L" 重新连接并登录，登录即确认；否则 10 分钟后自动改回端口 " + oldPort + L"。"};
    if (!consoleBeside) {
        safe.note = L"需要与本程序在同一文件夹中的 rdpport.com。";
        safe.enabled = false;
    }
    dialog.links = {
        safe,
        {kChoicePortOnly, L"只修改端口，重启计算机后生效",
         L"不会自动改回。重启前请确认端口 " + newPort + L" 已在所有防火墙和云安全组中放行。"},
        {IDCANCEL, L"取消", L""},
    };
    dialog.defaultId = IDCANCEL;
    switch (toolkit::ShowCommandDialog(dialog)) {
        case kChoiceApplyWithRevert: return consoleBeside ? RemoteWay::ApplyWithRevert : RemoteWay::Cancel;
        case kChoicePortOnly: return RemoteWay::PortOnly;
        // No task dialog to be had: the change goes on as it always has, the designed confirmation next.
        case 0: return RemoteWay::PortOnly;
        default: return RemoteWay::Cancel;
    }
}

bool ChangeWithRevert(const RevertedChange& change) {
    const std::wstring oldPort = Number(change.from), newPort = Number(change.to);
    const guard::RestartPlan restart = guard::PrepareRemoteDesktopRestart();
    if (restart.error != 0) {
        Warn(L"未能安排自动改回：无权重启服务 " + restart.failedService + L"（" + base::SystemErrorClause(restart.error) +
             L"）。端口未修改。");
        return false;
    }
    Written outcome;
    {
        const settings::WriteLock lock = settings::WriteLock::Acquire();
        if (!lock.Held()) {
            Warn(lock.FailureText() + L"。未作任何修改。");
            return false;
        }
        outcome = ArmAndWrite(change);
    }
    if (outcome.notArmed) {
        Warn(L"未能安排自动改回：" + outcome.notArmed->text + L"。端口未修改。");
        return false;
    }
    if (!outcome.opening.admitted) {
        Warn(FirewallFailureText(change.to, outcome.opening, GuardedCommand::PortChange));
        return false;
    }
    if (!outcome.written) {
        // As the plain change reports it; the revert stays armed when one key was written.
        Warn(base::ErrorPending() ? L"修改失败，原因：" + base::ErrorDescription() : L"修改失败，可能是系统禁止了注册表修改。");
        base::ClearError();
        return true;
    }
    toolkit::ShowMessage(L"端口已修改为 " + newPort + L"。远程桌面服务即将重启，当前连接会断开。请用端口 " + newPort +
                             L" 重新连接并登录以确认；若 10 分钟内未登录，将自动改回端口 " + oldPort + L"。",
                         toolkit::kStyleInformation);
    const guard::RestartOutcome restarted = guard::RestartRemoteDesktop(restart);
    if (!restarted.restarted) {
        Warn(L"未能重启远程桌面服务（" + restarted.failedService + L"：" + base::SystemErrorClause(restarted.error) + L"）。端口 " + newPort +
             L" 已写入，将在远程桌面服务或计算机重启后生效；自动改回仍在等待：届时 10 分钟内未用新端口登录，将改回端口 " +
             oldPort + L"。");
    }
    return true;
}

std::wstring PendingLineText(const revert::PendingLookup& pending) {
    if (!pending.plan) return L"";
    const revert::PendingRevert& plan = *pending.plan;
    // A task whose action and record cannot be read is still pending; it just cannot say what it does.
    if (plan == revert::PendingRevert{}) return L"待确认：有一个自动改回正在等待。";
    const std::wstring from = Number(plan.from), to = Number(plan.to);
    if (!pending.effectiveAt)
        return L"待确认：端口 " + to + L" 生效后 " + revert::DurationText(plan.seconds) + L"内未登录，将改回端口 " + from + L"。";
    // The deadline in the local time of that day.
    const ULONGLONG due = revert::DueAt(plan, *pending.effectiveAt);
    FILETIME utc{static_cast<DWORD>(due), static_cast<DWORD>(due >> 32)};
    SYSTEMTIME utcTime{}, local{};
    if (!FileTimeToSystemTime(&utc, &utcTime) || !SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &local))
        local = utcTime;
    const wchar_t clock[] = {static_cast<wchar_t>(L'0' + local.wHour / 10), static_cast<wchar_t>(L'0' + local.wHour % 10), L':',
                             static_cast<wchar_t>(L'0' + local.wMinute / 10),
                             static_cast<wchar_t>(L'0' + local.wMinute % 10), L'\0'};
    return L"待确认：请用端口 " + to + L" 登录以确认，否则将于 " + clock + L" 改回端口 " + from + L"。";
}

std::wstring PendingRefusalText(const revert::PendingRevert& plan) {
    return L"自动改回正在等待确认（" + Number(plan.to) + L" → " + Number(plan.from) +
           L"）。请先用新端口登录确认，或等它改回。";
}

}  // namespace ui
