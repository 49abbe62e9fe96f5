// How the firewall's verdicts and the opening's failures are put to the administrator (Simplified
// Chinese): the profile, the protocol, and the rule or setting that decides.

#include "base/DecimalText.h"
#include "base/PrintableText.h"
#include "guard/Guard.h"
#include "guard/Hazard.h"

namespace guard {
namespace {

using firewall::Reason;

// A rule's name, which anyone who may add a rule chose: quoted and printable.
std::wstring Quoted(const std::wstring& name) { return L"“" + base::Printable(name) + L"”"; }

std::wstring Names(const std::vector<std::wstring>& names) {
    std::wstring text;
    for (const std::wstring& name : names) text += (text.empty() ? L"" : L"、") + Quoted(name);
    return text;
}

}  // namespace

const wchar_t* ProtocolName(long protocol) { return protocol == firewall::kProtocolUdp ? L"UDP" : L"TCP"; }

std::wstring FindingText(const firewall::ProfileFinding& finding) {
    switch (finding.reason) {
        case Reason::None:
        case Reason::Unreadable: return L"无法读取 Windows 防火墙的设置";
        case Reason::FirewallOff: return L"防火墙已关闭";
        case Reason::DefaultAllows: return L"默认允许入站连接";
        case Reason::AllowRule: return L"规则" + Quoted(finding.rule) + L"放行";
        case Reason::BlockAllInbound: return L"阻止所有入站连接";
        case Reason::BlockRule: return L"规则" + Quoted(finding.rule) + L"阻止了入站连接";
        case Reason::NoAllowRule: return L"没有放行该端口的规则，且默认阻止入站连接";
        case Reason::NarrowedBlockRule:
            return L"规则" + Quoted(finding.rule) + L"阻止了部分入站连接（限定了地址、端口、接口或用户）";
        case Reason::NarrowedAllowOnly:
            return L"只有限定了地址、端口、接口或用户的规则" + Quoted(finding.rule) + L"放行";
        case Reason::PolicyGoverns: return L"组策略可能使本机添加的规则不生效";
        case Reason::PolicyUnclear: return L"组策略的防火墙设置无法确定其效果";
        case Reason::UnreadableRules: return L"有防火墙规则无法读取";
        case Reason::UnparsedPolicyRule: return L"有组策略防火墙规则无法解析";
        case Reason::MdmPolicy: return L"存在 MDM 防火墙策略，本程序无法读取";
        case Reason::ServiceRestricted: return L"Windows 服务强化限制了远程桌面服务（TermService）的网络访问";
        case Reason::ExcludedInterfaces: return L"防火墙不作用于部分网络接口";
        case Reason::AuthenticatedBypass:
            return L"规则" + Quoted(finding.rule) + L"要求 IPsec 身份验证（经过验证的连接可能绕过阻止规则，未经验证的可能被阻止）";
    }
    return {};
}

// Why the rules would not make the port open, or did not, in the problem's profile.
std::wstring NotOpenText(const FirewallOpening& opening) {
    const firewall::ProfileFinding& problem = opening.problem;
    const std::wstring profile = ProfileNames(problem.type);
    const bool before = opening.failure == OpenFailure::Blocked;
    switch (problem.reason) {
        case Reason::BlockAllInbound: return L"Windows 防火墙在" + profile + L"网络中阻止所有入站连接";
        case Reason::BlockRule:
            return L"在" + profile + L"网络中防火墙规则" + Quoted(problem.rule) + L"阻止了该端口的入站连接";
        case Reason::PolicyGoverns:
            return L"组策略管理着 Windows 防火墙在" + profile + L"网络中的规则，本机添加的规则可能不会生效";
        case Reason::UnreadableRules: return L"有防火墙规则无法读取，无法确认该端口已放行";
        default: break;
    }
    return std::wstring(before ? L"" : L"添加规则后 ") + L"Windows 防火墙在" + profile + L"网络中" +
           (before ? L"无法确认放行 " : L"仍未确认放行 ") + ProtocolName(opening.problemProtocol) + L"：" +
           FindingText(problem);
}

std::wstring OpenFailureText(const FirewallOpening& opening) {
    std::wstring text;
    switch (opening.failure) {
        case OpenFailure::None: return {};
        case OpenFailure::PortZero: text = L"端口 0 不是可以监听的端口，无法放行"; break;
        case OpenFailure::Unreadable: text = L"无法读取 Windows 防火墙的设置"; break;
        case OpenFailure::WriteFailed:
            text = L"写入防火墙规则失败，错误 " + base::HexText(static_cast<std::uint32_t>(opening.hresult));
            break;
        case OpenFailure::ReadBackDiffers: text = L"写入的防火墙规则读回时与写入的不一致"; break;
        case OpenFailure::Blocked:
        case OpenFailure::StillNotAdmitted: text = NotOpenText(opening); break;
    }
    if (!opening.leftBehind.empty()) text += L"；以下规则未能撤回，请在防火墙中手动删除：" + Names(opening.leftBehind);
    return text;
}

}  // namespace guard
