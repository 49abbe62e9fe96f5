// firewall's report: per protocol and profile, the verdict and what decides it.

#include "base/DecimalText.h"
#include "console/JsonParts.h"
#include "console/Render.h"
#include "guard/Hazard.h"

namespace console {
namespace {

using guard::firewall::Assessment;
using guard::firewall::ProfileFinding;
using guard::firewall::Reason;

const wchar_t* VerdictWords(guard::FirewallVerdict verdict) {
    switch (verdict) {
        case guard::FirewallVerdict::Admits: return L"一定放行";
        case guard::FirewallVerdict::Closed: return L"一定阻止";
        case guard::FirewallVerdict::Unknown: break;
    }
    return L"无法确定";
}

// The reason's name in the JSON.
const wchar_t* ReasonName(Reason reason) {
    switch (reason) {
        case Reason::None:
        case Reason::Unreadable: return L"unreadable";
        case Reason::FirewallOff: return L"firewall-off";
        case Reason::DefaultAllows: return L"default-allows";
        case Reason::AllowRule: return L"allow-rule";
        case Reason::BlockAllInbound: return L"block-all-inbound";
        case Reason::BlockRule: return L"block-rule";
        case Reason::NoAllowRule: return L"no-allow-rule";
        case Reason::NarrowedBlockRule: return L"narrowed-block-rule";
        case Reason::NarrowedAllowOnly: return L"narrowed-allow-only";
        case Reason::PolicyGoverns: return L"policy-governs";
        case Reason::PolicyUnclear: return L"policy-unclear";
        case Reason::UnreadableRules: return L"unreadable-rules";
        case Reason::UnparsedPolicyRule: return L"unparsed-policy-rule";
        case Reason::MdmPolicy: return L"mdm-policy";
        case Reason::ServiceRestricted: return L"service-restricted";
        case Reason::ExcludedInterfaces: return L"excluded-interfaces";
        case Reason::AuthenticatedBypass: return L"authenticated-bypass";
    }
    return L"";
}

std::wstring ProtocolLines(const Assessment& assessment) {
    std::wstring text = std::wstring(guard::ProtocolName(assessment.protocol)) + L"：\r\n";
    for (const ProfileFinding& finding : assessment.profiles)
        text += L"  " + guard::ProfileNames(finding.type) + (finding.current ? L"（当前）" : L"") + L"：" +
                VerdictWords(finding.verdict) + L"——" + guard::FindingText(finding) + L"\r\n";
    return text;
}

void WriteProtocol(JsonWriter& json, const Assessment& assessment) {
    json.BeginObject();
    for (const ProfileFinding& finding : assessment.profiles) {
        const std::wstring_view key = ProfileKey(finding.type);
        json.Key(std::string(key.begin(), key.end())).BeginObject();
        json.Key("verdict").String(ProfileVerdictName(finding.verdict));
        json.Key("reason").String(ReasonName(finding.reason));
        json.Key("rule");
        if (finding.rule.empty()) {
            json.Null();
        } else {
            json.String(finding.rule);
        }
        json.EndObject();
    }
    json.EndObject();
}

}  // namespace

void PrintFirewallText(const FirewallReport& report, OutputSink& sink) {
    if (!report.tcp.known) {
        sink.Err(L"失败：" + (report.error ? report.error->text : std::wstring(L"无法读取 Windows 防火墙的设置")) +
                 L"\r\n");
        return;
    }
    const std::wstring source = report.fromFile ? L"快照文件 " + *report.options.snapshotPath : L"本机";
    std::wstring text = L"Windows 防火墙对端口 " + base::DecimalText64(*report.port) + L" 入站连接的判断（" + source +
                        L"）：\r\n" + ProtocolLines(report.tcp) + ProtocolLines(report.udp);
    for (const Assessment* assessment : {&report.tcp, &report.udp})
        text += std::wstring(guard::ProtocolName(assessment->protocol)) + L" 在域、专用、公用网络中均放行：" +
                (assessment->OpenEverywhere() ? L"是" : L"否") + L"\r\n";
    if (!report.exported.empty()) text += L"已保存防火墙快照：" + report.exported + L"\r\n";
    sink.Out(text);
    if (report.error) sink.Err(L"失败：" + report.error->text + L"\r\n");
}

std::wstring FirewallJson(const FirewallReport& report) {
    JsonWriter json;
    BeginReport(json, CommandName(Command::Firewall), report.exitCode);
    json.Key("error");
    WriteFailure(json, report.error);
    json.Key("port").NumberOrNull(report.port);
    json.Key("source").String(report.fromFile ? L"file" : L"machine");
    json.Key("currentProfiles").BeginArray();
    for (long type : guard::firewall::kProfileBits)
        if (report.tcp.known && (report.currentProfiles & type) != 0) json.String(ProfileKey(type));
    json.EndArray();
    const bool known = report.tcp.known && report.udp.known;
    for (const Assessment* assessment : {&report.tcp, &report.udp}) {
        json.Key(assessment == &report.tcp ? "tcp" : "udp");
        if (known) {
            WriteProtocol(json, *assessment);
        } else {
            json.Null();
        }
    }
    json.Key("admitted");
    if (known) {
        json.BeginObject().Key("tcp").Bool(report.tcp.OpenEverywhere()).Key("udp").Bool(report.udp.OpenEverywhere());
        json.EndObject();
    } else {
        json.Null();
    }
    json.Key("closedNow");
    if (known) {
        json.BeginObject().Key("tcp").Bool(report.tcp.ClosedCurrentProfiles() != 0);
        json.Key("udp").Bool(report.udp.ClosedCurrentProfiles() != 0).EndObject();
    } else {
        json.Null();
    }
    return Finished(json);
}

}  // namespace console
