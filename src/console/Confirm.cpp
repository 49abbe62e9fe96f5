// confirm: the new port is kept. The pending revert goes first; then the program's own firewall rules
// for the old port, but only once that port is neither configured nor listened on: until the service
// restarts, connections may still come in on it.

#include <algorithm>

#include "base/DecimalText.h"
#include "console/Commands.h"
#include "console/GuardCalls.h"
#include "console/LocalSettings.h"
#include "console/RevertSteps.h"
#include "console/RevertTexts.h"
#include "revert/EventLog.h"
#include "settings/WriteLock.h"

namespace console {
namespace {

// Why the old port's rules must stay; empty when they may go.
std::wstring StillUsed(std::uint16_t port) {
    const std::wstring number = base::DecimalText64(port);
    for (settings::PortKey key : {settings::PortKey::RdpTcp, settings::PortKey::RdpwdTcp}) {
        if (ReadPortKey(key).port == port) return L"端口 " + number + L" 仍写在注册表中，保留它的防火墙规则。";
    }
    const std::optional<std::vector<std::uint16_t>> listening = Guard().RemoteDesktopListeningPorts();
    if (!listening) return L"无法判断远程桌面服务是否仍在端口 " + number + L" 监听，保留它的防火墙规则。";
    if (std::find(listening->begin(), listening->end(), port) != listening->end())
        return L"远程桌面服务仍在端口 " + number + L" 监听（重新启动服务后才改用新端口），保留它的防火墙规则。";
    return {};
}

void CloseOldPort(ConfirmReport& report) {
    const std::uint16_t port = report.plan->from;
    if (port == 0 || port == report.plan->to) return;
    if (const std::wstring reason = StillUsed(port); !reason.empty()) {
        report.rulesKept = reason;
        return;
    }
    const guard::FirewallClosing closing = Guard().CloseOwnFirewallPort(port);
    report.rulesRemoved = closing.removed;
    if (!closing.readable) {
        report.rulesKept =
            L"无法读取 Windows 防火墙，本程序为端口 " + base::DecimalText64(port) + L" 添加的规则（如有）未删除。";
    } else if (closing.hresult < 0) {
        Fail(report,
             {closing.hresult, L"删除本程序为端口 " + base::DecimalText64(port) + L" 添加的防火墙规则失败，错误 " +
                                   base::HexText(static_cast<std::uint32_t>(closing.hresult)) + L"。"});
    }
}

}  // namespace

ConfirmReport RunConfirm(const Options& options) {
    ConfirmReport report;
    report.options = options;
    const PendingLookup pending = LookUpPendingRevert();
    if (FAILED(pending.status)) {
        Fail(report, {static_cast<long>(pending.status), L"无法向任务计划程序查询等待中的自动改回。"});
        return report;
    }
    if (!pending.plan) return report;
    const settings::WriteLock lock = settings::WriteLock::Acquire();
    if (!lock.Held()) {
        Fail(report, LockFailure(lock, L"；自动改回仍在等待。"));
        return report;
    }
    // Asked again under the lock: the watch may have reverted, or begun to, while this waited for it.
    const PendingLookup now = LookUpPendingRevert();
    if (SUCCEEDED(now.status) && !now.plan) return report;
    if (now.reverting || (pending.plan->to != 0 && ReadPortKey(settings::PortKey::RdpTcp).port != pending.plan->to)) {
        Fail(report, {0, L"自动改回已经开始（注册表中已不是端口 " + base::DecimalText64(pending.plan->to) +
                             L"），无法再确认；它会把原来的端口改回完。"});
        return report;
    }
    if (std::optional<Failure> failure = DropRevert()) {
        Fail(report, std::move(*failure));
        return report;
    }
    report.confirmed = true;
    report.plan = pending.plan;
    revert::EventLogCall()(revert::RevertEvent::Confirmed, ConfirmText(report));
    CloseOldPort(report);
    return report;
}

}  // namespace console
