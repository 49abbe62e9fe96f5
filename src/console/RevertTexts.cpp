#include "console/RevertTexts.h"

#include "base/DecimalText.h"
#include "base/PrintableText.h"
#include "revert/RevertRecord.h"

namespace console {
namespace {

std::wstring Port(std::uint16_t port) { return L"端口 " + base::DecimalText64(port); }

}  // namespace

std::wstring WatchOutcomeText(const WatchReport& report) {
    const revert::PendingRevert& plan = report.plan;
    switch (report.outcome) {
        case WatchOutcome::Confirmed:
            return L"管理员 " + (report.confirmedBy ? report.confirmedBy->user : std::wstring()) + L" 已从 " +
                   (report.confirmedBy && report.confirmedBy->client ? report.confirmedBy->client->Text() : L"") +
                   L" 通过" + Port(plan.to) + L"登录远程桌面：保留新端口，不再改回。";
        case WatchOutcome::Cancelled:
            return L"自动改回已被取消（已确认" + Port(plan.to) + L"）：未作任何修改。";
        case WatchOutcome::Reverted:
            return Port(plan.to) + L"生效后 " + revert::DurationText(plan.seconds) + L"内没有管理员通过它登录：已改回" +
                   Port(plan.from) + L"。";
        case WatchOutcome::Superseded:
            return L"端口已不再是 " + base::DecimalText64(plan.to) + L"（已另行修改）：不再改回" + Port(plan.from) +
                   L"，未作任何修改。";
        case WatchOutcome::Failed:
            break;
    }
    return L"改回" + Port(plan.from) + L"失败：" + (report.error ? report.error->text : std::wstring());
}

std::wstring ConfirmText(const ConfirmReport& report) {
    if (!report.confirmed) return L"没有等待中的自动改回。";
    std::wstring text = L"已确认" + Port(report.plan->to) + L"：不再自动改回。";
    if (!report.rulesRemoved.empty()) text += L"已删除本程序为" + Port(report.plan->from) + L"添加的防火墙规则。";
    if (!report.rulesKept.empty()) text += report.rulesKept;
    return text;
}

std::wstring RevertPendingText(const revert::PendingRevert& pending) {
    // A task whose action and record cannot be read is still pending; it just cannot say from where to where.
    const std::wstring which = pending == revert::PendingRevert{}
                                   ? L""
                                   : L"（" + Port(pending.from) + L" → " + base::DecimalText64(pending.to) + L"）";
    return L"已有一个等待中的自动改回" + which + L"：请先运行 rdpport.com confirm 确认它，或等它结束；未作任何修改。";
}

std::wstring WatchStartedText(const revert::PendingRevert& plan, std::optional<ULONGLONG> effectiveAt) {
    std::wstring text = L"自动改回的监视进程已启动（进程 " + base::DecimalText64(GetCurrentProcessId()) + L"）：";
    if (effectiveAt)
        return text + L"若在 " + revert::UtcText(revert::DueAt(plan, *effectiveAt)) +
               L" 之前没有管理员通过" + Port(plan.to) + L"登录远程桌面，将改回" + Port(plan.from) + L"。";
    return text + Port(plan.to) + L"生效后开始计时 " + revert::DurationText(plan.seconds) + L"，其间没有管理员通过它登录远程桌面则改回" +
           Port(plan.from) + L"。";
}

std::wstring PendingRevertLine(const revert::PendingRevert& pending, const std::wstring& armedAt,
                              std::optional<ULONGLONG> effectiveAt, bool watchRunning) {
    std::wstring text = L"等待确认：";
    if (effectiveAt) {
        text += Port(pending.to) + L"已于 " + revert::UtcText(*effectiveAt) + L" 生效；若在 " +
                revert::UtcText(revert::DueAt(pending, *effectiveAt)) +
                L" 之前没有管理员通过它登录远程桌面，将自动改回" + Port(pending.from);
    } else {
        text += L"若" + Port(pending.to) + L"生效后 " + revert::DurationText(pending.seconds) +
                L"内没有管理员通过它登录远程桌面，将自动改回" + Port(pending.from);
    }
    text += L"并把远程桌面服务放回该端口";
    if (!armedAt.empty()) text += L"（安排于 " + base::Printable(armedAt) + L"）";  // as the record holds it
    text += watchRunning ? L"。监视进程正在运行" : L"。监视进程没有在运行（任务计划程序每 5 分钟会再启动它）";
    return text + L"。确认：rdpport.com confirm";
}

}  // namespace console
