#include "base/DecimalText.h"
#include "base/PrintableText.h"
#include "console/NlaText.h"
#include "console/Render.h"
#include "console/RevertTexts.h"
#include "console/Texts.h"

namespace console {
namespace {

std::wstring Number(std::int64_t value) { return base::DecimalText64(value); }

std::wstring PortKeyLine(const PortKeyState& key) {
    std::wstring line = L"端口（" + ShortKeyName(key.key) + L"）：";
    if (key.error) {
        line += key.status == ERROR_FILE_NOT_FOUND ? L"未设置" : L"无法读取：" + key.error->text;
    } else if (key.port) {
        line += Number(*key.port);
    } else if (key.isDword) {
        line += key.value + L"（不是 0 到 65535 之间的端口）";
    } else {
        line += L"“" + base::Printable(key.value) + L"”（不是 REG_DWORD，远程桌面不会使用）";
    }
    return line + L"\r\n";
}

std::wstring AllowedText(std::optional<bool> allowed) {
    if (!allowed) return L"无法确定";
    return *allowed ? L"允许" : L"禁止";
}

std::wstring PolicyText(const StatusReport& report) {
    if (report.policyError) return L"无法读取：" + report.policyError->text;
    if (!report.policySet) return L"未设置";
    if (!report.policyValue) return L"已设置，但不是 REG_DWORD，由 Windows 解释";
    if (const std::optional<bool> denies = report.PolicyDenies())
        return *denies ? L"禁止远程连接（优先于本机设置）" : L"允许远程连接（优先于本机设置）";
    return L"值为 " + Number(*report.policyValue) + L"，由 Windows 解释";
}

std::wstring ListeningLine(const StatusReport& report) {
    std::wstring line = L"远程桌面服务正在监听：";
    if (!report.listening) return line + L"无法得知\r\n";
    if (report.listening->empty()) return line + L"没有 TCP 端口\r\n";
    for (size_t i = 0; i < report.listening->size(); ++i) line += (i ? L"、" : L"") + Number((*report.listening)[i]);
    line += L"\r\n";
    const std::optional<std::uint16_t> configured = report.ConfiguredPort();
    bool listensOnConfigured = false;
    for (const std::uint16_t port : *report.listening) listensOnConfigured = listensOnConfigured || port == configured;
    if (configured && !listensOnConfigured && !report.listening->empty())
        line += L"注意：已配置端口 " + Number(*configured) + L"，但服务仍在监听 " + Number(report.listening->front()) +
                L"，重新启动计算机后才会改用新端口。\r\n";
    return line;
}

// The Remote Desktop service's start type and state as Windows' service list names them.
std::wstring StartTypeText(std::optional<DWORD> startType) {
    if (!startType) return L"无法得知";
    switch (*startType) {
        case SERVICE_AUTO_START:
            return L"自动";
        case SERVICE_DEMAND_START:
            return L"手动";
        case SERVICE_DISABLED:
            return L"禁用";
        default:
            return L"其他（" + Number(*startType) + L"）";
    }
}

std::wstring ServiceStateText(std::optional<DWORD> state) {
    if (!state) return L"无法得知";
    if (*state == SERVICE_RUNNING) return L"正在运行";
    if (*state == SERVICE_STOPPED) return L"已停止";
    return L"其他（" + Number(*state) + L"）";
}

std::wstring ServiceLines(const guard::ServiceSummary& service) {
    const std::wstring listener = !service.listenerEnabled   ? L"无法得知"
                                  : *service.listenerEnabled ? L"已启用"
                                                             : L"已停用";
    return L"远程桌面服务（TermService）启动类型：" + StartTypeText(service.startType) +
           L"\r\n远程桌面服务（TermService）状态：" + ServiceStateText(service.state) +
           L"\r\nRDP-Tcp 连接（fEnableWinStation）：" + listener + L"\r\n";
}

std::wstring VerdictText(guard::FirewallVerdict verdict) {
    switch (verdict) {
        case guard::FirewallVerdict::Admits:
            return L"是";
        case guard::FirewallVerdict::Closed:
            return L"否";
        default:
            return L"无法确定";
    }
}

// Each profile's verdict, the current ones marked, when not all three are open.
std::wstring ProfileVerdicts(const guard::firewall::Assessment& assessment) {
    if (!assessment.known || assessment.OpenEverywhere()) return {};
    std::wstring text = L"  各网络配置文件：";
    for (const guard::firewall::ProfileFinding& finding : assessment.profiles) {
        if (finding.type != guard::firewall::kProfileDomain) text += L"，";
        text += guard::ProfileNames(finding.type) + (finding.current ? L"（当前）" : L"") + L" " + VerdictText(finding.verdict);
    }
    return text + L"\r\n";
}

std::wstring FirewallLine(const StatusReport& report, const wchar_t* protocol, const guard::firewall::Assessment& profiles) {
    const std::optional<std::uint16_t> port = report.ConfiguredPort();
    const std::wstring what =
        port ? L" " + std::wstring(protocol) + L" " + Number(*port) : std::wstring(L"所配置的端口（") + protocol + L"）";
    return L"防火墙是否放行" + what + L"：" + VerdictText(profiles.Summary()) + L"\r\n" + ProfileVerdicts(profiles);
}

std::wstring OwnRulesLines(const StatusReport& report) {
    if (!report.firewall.ownRules) return L"本程序的防火墙规则：无法读取\r\n";
    std::wstring text = L"本程序的防火墙规则：" + std::wstring(report.firewall.ownRules->empty() ? L"无" : L"") + L"\r\n";
    for (const guard::firewall::Rule& rule : *report.firewall.ownRules) {
        text += L"  " + base::Printable(rule.name) + (rule.enabled ? L"（已启用，" : L"（未启用，") +
                guard::ProfileNames(rule.profiles) + L"网络）\r\n";
    }
    if (report.firewall.unreadableRules > 0)
        text += L"有 " + Number(report.firewall.unreadableRules) + L" 条防火墙规则无法读取，以上判断可能不完整。\r\n";
    return text;
}

void PrintHazards(const ChangeReport& report, OutputSink& sink) {
    for (const guard::Hazard& hazard : report.hazards) sink.Err(L"警告：" + guard::Describe(hazard) + L"\r\n");
}

std::wstring Outcome(const ChangeReport& report) {
    const bool whatIf = report.options.whatIf;
    if (report.command == Command::SetPort) {
        if (report.alreadySet && report.apply.applied)
            return L"两处端口设置已经是 " + Number(report.port) + L"；远程桌面服务已重新启动，正在端口 " +
                   Number(report.port) + L" 监听。";
        if (report.alreadySet) return L"两处端口设置已经是 " + Number(report.port) + L"，无需修改。";
        const std::wstring from = report.previousPort ? L"由 " + Number(*report.previousPort) + L" " : L"";
        if (whatIf) return L"将把端口" + from + L"改为 " + Number(report.port) + L"（两处端口设置）。";
        if (report.apply.applied)
            return L"端口已" + from + L"改为 " + Number(report.port) +
                   L"（两处端口设置均已写入），远程桌面服务已重新启动，正在端口 " + Number(report.port) + L" 监听。";
        return L"端口已" + from + L"改为 " + Number(report.port) + L"（两处端口设置均已写入），重新启动计算机后生效。";
    }
    if (report.command == Command::Nla) return NlaOutcome(report);
    const bool allow = report.command == Command::Enable;
    if (report.alreadySet) return allow ? L"远程连接已经是允许状态，无需修改。" : L"远程连接已经是禁止状态，无需修改。";
    if (whatIf) return allow ? L"将允许远程连接。" : L"将禁止远程连接。";
    return allow ? L"已允许远程连接。" : L"已禁止远程连接。";
}

std::wstring FirewallLine(const ChangeReport& report) {
    const std::wstring port = L"TCP 和 UDP " + Number(report.firewall.port);
    switch (report.firewall.step) {
        case FirewallStep::AlreadyAdmitted:
            return L"Windows 防火墙已在域、专用、公用网络中放行 " + port + L"，未添加规则。\r\n";
        case FirewallStep::WouldAdd:
            return L"将在 Windows 防火墙中放行 " + port + L"（所有网络配置文件）。\r\n";
        case FirewallStep::Added:
            return L"已在 Windows 防火墙中放行 " + port + L"，并已确认在域、专用、公用网络中均放行。\r\n";
        default:
            return {};
    }
}

std::wstring PendingRevertLines(const StatusReport& report) {
    if (report.pendingRevertError) return L"自动改回：无法得知（" + report.pendingRevertError->text + L"）\r\n";
    if (!report.pendingRevert) return L"自动改回：无\r\n";
    return L"自动改回：" +
           PendingRevertLine(*report.pendingRevert, report.pendingRevertArmedAt, report.pendingRevertEffectiveAt,
                             report.pendingRevertWatchRunning) +
           L"\r\n";
}

// set-port --revert-after: what was armed, or why nothing was.
std::wstring RevertLines(const ChangeReport& report) {
    const RevertArming& revert = report.revert;
    if (!revert.asked) return {};
    if (!revert.notArmed.empty()) return revert.notArmed + L"\r\n";
    if (!revert.armed) return {};
    const std::wstring confirm =
        L"从其他计算机连上端口 " + Number(report.port) + L" 即自动确认；也可运行 rdpport.com confirm 确认。\r\n";
    const std::wstring plan =
        report.options.whatIf ? L"将安排自动改回：" + RevertPlanText(revert.plan) : ArmedText(revert.plan);
    return plan + L"\r\n" + confirm;
}

}  // namespace

void PrintStatusText(const StatusReport& report, OutputSink& sink) {
    std::wstring text = PortKeyLine(report.keys[0]) + PortKeyLine(report.keys[1]);
    const bool neitherSet =
        report.keys[0].status == ERROR_FILE_NOT_FOUND && report.keys[1].status == ERROR_FILE_NOT_FOUND;
    const wchar_t* agreement = neitherSet ? L"均未设置" : report.PortsAgree() ? L"一致" : L"不一致";
    text += L"两处端口设置：" + std::wstring(agreement) + L"\r\n";
    text += L"远程连接（本机设置）：" + AllowedText(report.allowed);
    if (report.allowedError)
        text +=
            L"（" +
            (report.allowedError->code == ERROR_FILE_NOT_FOUND ? std::wstring(L"未设置") : report.allowedError->text) +
            L"）";
    text += L"\r\n组策略：" + PolicyText(report);
    text +=
        L"\r\n实际生效：" + (report.effective ? AllowedText(report.effective) + L"远程连接" : L"无法确定") + L"\r\n";
    text += NlaStatusLines(report.nla);
    text += ListeningLine(report) + ServiceLines(report.service) + FirewallLine(report, L"TCP", report.firewall.tcp) +
            FirewallLine(report, L"UDP", report.firewall.udp) + OwnRulesLines(report) + PendingRevertLines(report);
    sink.Out(text);
    if (report.error) sink.Err(L"错误：" + report.error->text + L"\r\n");
}

void PrintChangeText(const ChangeReport& report, OutputSink& sink) {
    PrintHazards(report, sink);
    if (report.refused) {
        sink.Err(L"已拒绝：发现上述风险，未作任何修改。确认无误后可加 --force 重新执行。\r\n");
        return;
    }
    if (report.forced) sink.Err(L"已按 --force 忽略上述风险。\r\n");
    if (report.options.whatIf) sink.Out(L"（--what-if：未写入任何内容）\r\n");
    sink.Out(FirewallLine(report));
    if (report.options.apply)
        sink.Out((report.options.whatIf ? L"（--apply）" : L"") + RestartDropsConnectionsText() + L"\r\n");
    if (report.error) {
        sink.Err(L"失败：" + report.error->text + L"\r\n");
        if (report.revert.disarmed) sink.Err(L"刚安排的自动改回已撤销。\r\n");
        if (report.revert.armed) sink.Err(ArmedText(report.revert.plan) + L"\r\n");
        if (report.error->code == ERROR_ACCESS_DENIED) sink.Err(L"请在以管理员身份运行的会话中执行。\r\n");
        return;
    }
    sink.Out(Outcome(report) + L"\r\n" + RevertLines(report));
    if (report.command == Command::Nla && !report.required) sink.Out(NlaOffNote() + L"\r\n");
    if (report.options.apply && report.options.whatIf)
        sink.Out(L"将重新启动远程桌面服务，使端口 " + Number(report.port) + L" 立即生效。\r\n");
    if (report.command == Command::SetPort && !report.alreadySet && report.firewall.step == FirewallStep::NotAsked)
        sink.Out(L"重新启动之前，请确认防火墙（以及服务器前的云安全组）放行 TCP " + Number(report.port) +
                 L"，否则将无法远程连接。\r\n");
}

}  // namespace console
