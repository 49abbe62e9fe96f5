#include "base/JsonWriter.h"
#include "console/JsonParts.h"
#include "console/Render.h"
#include "console/Texts.h"

namespace console {
namespace {

const wchar_t* HazardKindName(guard::HazardKind kind) {
    switch (kind) {
        case guard::HazardKind::PortInUse: return L"PortInUse";
        case guard::HazardKind::PortForbidden: return L"PortForbidden";
        case guard::HazardKind::FirewallClosed: return L"FirewallClosed";
        case guard::HazardKind::PolicyDenies: return L"PolicyDenies";
        case guard::HazardKind::PolicyAllows: return L"PolicyAllows";
        case guard::HazardKind::PolicyOverridesNla: return L"PolicyOverridesNla";
        case guard::HazardKind::PortZero: return L"PortZero";
        case guard::HazardKind::PortInDynamicRange: return L"PortInDynamicRange";
        case guard::HazardKind::ServiceDisabled: return L"ServiceDisabled";
        case guard::HazardKind::ListenerDisabled: return L"ListenerDisabled";
        case guard::HazardKind::FirewallOtherProfiles: return L"FirewallOtherProfiles";
    }
    return L"";
}

const wchar_t* ServiceStartTypeName(DWORD startType) {
    switch (startType) {
        case SERVICE_AUTO_START: return L"auto";
        case SERVICE_DEMAND_START: return L"manual";
        case SERVICE_DISABLED: return L"disabled";
        default: return L"other";  // boot and system start: drivers' types, never TermService's
    }
}

const wchar_t* ServiceStateName(DWORD state) {
    switch (state) {
        case SERVICE_RUNNING: return L"running";
        case SERVICE_STOPPED: return L"stopped";
        default: return L"other";  // starting, stopping, paused, ...
    }
}

const wchar_t* VerdictName(guard::FirewallVerdict verdict) {
    switch (verdict) {
        case guard::FirewallVerdict::Admits: return L"yes";
        case guard::FirewallVerdict::Closed: return L"no";
        case guard::FirewallVerdict::Unknown: break;
    }
    return L"unknown";
}

const wchar_t* StepName(FirewallStep step) {
    switch (step) {
        case FirewallStep::AlreadyAdmitted: return L"already-admitted";
        case FirewallStep::WouldAdd: return L"would-add";
        case FirewallStep::Added: return L"added";
        case FirewallStep::Failed: return L"failed";
        case FirewallStep::Unreadable: return L"unreadable";
        case FirewallStep::NotAsked: break;
    }
    return L"";
}

void WritePortKeys(JsonWriter& json, const StatusReport& report) {
    json.Key("portKeys").BeginArray();
    for (const PortKeyState& key : report.keys) {
        json.BeginObject().Key("key").String(FullKeyName(key.key)).Key("port").NumberOrNull(key.port);
        json.Key("value");
        if (key.error) {
            json.Null();
        } else {
            json.String(key.value);
        }
        json.Key("error");
        WriteFailure(json, key.error);
        json.EndObject();
    }
    json.EndArray();
}

void WriteHazards(JsonWriter& json, const std::vector<guard::Hazard>& hazards) {
    json.Key("hazards").BeginArray();
    for (const guard::Hazard& hazard : hazards) {
        json.BeginObject().Key("kind").String(HazardKindName(hazard.kind)).Key("port");
        if (hazard.port != 0 || hazard.kind == guard::HazardKind::PortZero) {
            json.Number(hazard.port);
        } else {
            json.Null();
        }
        json.Key("text").String(guard::Describe(hazard));
        json.Key("ownerImage");
        if (hazard.ownerImage.empty()) {
            json.Null();
        } else {
            json.String(hazard.ownerImage);
        }
        json.Key("ownerPid");
        if (hazard.ownerPid != 0) {
            json.Number(hazard.ownerPid);
        } else {
            json.Null();
        }
        json.EndObject();
    }
    json.EndArray();
}

// The program's own rules: {name, port, protocol, enabled, profiles}; port null when the rule names no
// single port (edited by hand).
void WriteOwnRules(JsonWriter& json, const StatusReport& report) {
    json.Key("firewallRules");
    if (!report.firewall.ownRules) {
        json.Null();
        return;
    }
    namespace fw = guard::firewall;
    constexpr struct {
        long bit;
        const wchar_t* name;
    } kProfiles[] = {{fw::kProfileDomain, L"domain"}, {fw::kProfilePrivate, L"private"}, {fw::kProfilePublic, L"public"}};
    json.BeginArray();
    for (const fw::Rule& rule : *report.firewall.ownRules) {
        json.BeginObject().Key("name").String(rule.name).Key("port").NumberOrNull(fw::OwnRulePort(rule));
        json.Key("protocol").String(rule.protocol == fw::kProtocolTcp   ? L"TCP"
                                    : rule.protocol == fw::kProtocolUdp ? L"UDP"
                                                                        : L"other");
        json.Key("enabled").Bool(rule.enabled).Key("profiles").BeginArray();
        for (const auto& profile : kProfiles)
            if (rule.profiles & profile.bit) json.String(profile.name);
        json.EndArray().EndObject();
    }
    json.EndArray();
}

// The Remote Desktop service and its listener switch: serviceStartType, serviceState, listenerEnabled.
void WriteServiceKeys(JsonWriter& json, const guard::ServiceSummary& service) {
    json.Key("serviceStartType");
    if (service.startType) {
        json.String(ServiceStartTypeName(*service.startType));
    } else {
        json.Null();
    }
    json.Key("serviceState");
    if (service.state) {
        json.String(ServiceStateName(*service.state));
    } else {
        json.Null();
    }
    json.Key("listenerEnabled").BoolOrNull(service.listenerEnabled);
}

// A Group Policy value in words: null when it is not set, `yes` or `no` when it certainly decides one
// way, "other" for any other value (Windows interprets it).
void PolicyWord(JsonWriter& json, bool set, std::optional<bool> decides, const wchar_t* yes, const wchar_t* no) {
    if (!set) {
        json.Null();
    } else if (decides) {
        json.String(*decides ? yes : no);
    } else {
        json.String(L"other");
    }
}

// nlaRequired, nlaPolicy ("require", "allow", "other" or null) and nlaEffective.
void WriteNla(JsonWriter& json, const NlaStatus& nla) {
    json.Key("nlaRequired").BoolOrNull(nla.Required()).Key("nlaPolicy");
    PolicyWord(json, nla.policy.Set(), nla.PolicyRequires(), L"require", L"allow");
    json.Key("nlaEffective").BoolOrNull(nla.Effective());
}

// nla's report: no port and no firewall, the value asked for and the one before.
std::wstring NlaChangeJson(const ChangeReport& report) {
    JsonWriter json;
    BeginReport(json, CommandName(report.command), report.exitCode);
    json.Key("whatIf").Bool(report.options.whatIf);
    json.Key("required").Bool(report.required).Key("previousRequired").BoolOrNull(report.previousRequired);
    json.Key("changed").Bool(report.changed).Key("unchanged").Bool(report.alreadySet);
    WriteHazards(json, report.hazards);
    json.Key("refused").Bool(report.refused).Key("forced").Bool(report.forced);
    json.Key("error");
    WriteFailure(json, report.error);
    return Finished(json);
}

}  // namespace

void WriteFailure(JsonWriter& json, const std::optional<Failure>& failure) {
    if (!failure) {
        json.Null();
        return;
    }
    json.BeginObject().Key("code");
    if (failure->code != 0) {
        // As a DWORD: registry codes read as usual, HRESULTs as the unsigned numbers Windows prints.
        json.Number(static_cast<std::uint32_t>(failure->code));
    } else {
        json.Null();
    }
    json.Key("text").String(failure->text).EndObject();
}

void BeginReport(JsonWriter& json, const wchar_t* command, int exitCode) {
    json.BeginObject().Key("command").String(command).Key("exitCode").Number(exitCode);
}

const wchar_t* ProfileKey(long profileType) {
    if (profileType == guard::firewall::kProfileDomain) return L"domain";
    return profileType == guard::firewall::kProfilePrivate ? L"private" : L"public";
}

const wchar_t* ProfileVerdictName(guard::FirewallVerdict verdict) {
    switch (verdict) {
        case guard::FirewallVerdict::Admits: return L"open";
        case guard::FirewallVerdict::Closed: return L"closed";
        case guard::FirewallVerdict::Unknown: break;
    }
    return L"unknown";
}

void WriteFirewallProfiles(JsonWriter& json, const guard::firewall::Assessment& tcp,
                           const guard::firewall::Assessment& udp) {
    if (!tcp.known || !udp.known) {
        json.Null();
        return;
    }
    json.BeginObject();
    for (const guard::firewall::Assessment* assessment : {&tcp, &udp}) {
        json.Key(assessment == &tcp ? "tcp" : "udp").BeginObject();
        for (const guard::firewall::ProfileFinding& finding : assessment->profiles) {
            const std::wstring_view key = ProfileKey(finding.type);
            json.Key(std::string(key.begin(), key.end())).String(ProfileVerdictName(finding.verdict));
        }
        json.EndObject();
    }
    json.EndObject();
}

void WriteFirewallRule(JsonWriter& json, const FirewallOutcome& firewall) {
    json.Key("firewallRule");
    if (firewall.step == FirewallStep::NotAsked) {
        json.Null();
        return;
    }
    json.BeginObject().Key("port").Number(firewall.port).Key("result").String(StepName(firewall.step));
    json.Key("rules").BeginArray();
    for (const std::wstring& name : firewall.rules) json.String(name);
    json.EndArray().EndObject();
}

// A list of ports, or null when Windows did not tell.
void PortsOrNull(JsonWriter& json, const std::optional<std::vector<std::uint16_t>>& ports) {
    if (!ports) {
        json.Null();
        return;
    }
    json.BeginArray();
    for (const std::uint16_t port : *ports) json.Number(port);
    json.EndArray();
}

// set-port --apply: applied, listeningAfter, restartSeconds (whole seconds, rounded) and the restart's
// warning.
void WriteApply(JsonWriter& json, const ApplyOutcome& apply) {
    json.Key("applied").Bool(apply.applied).Key("listeningAfter");
    PortsOrNull(json, apply.listeningAfter);
    json.Key("restartSeconds");
    if (apply.restartSeconds) {
        json.Number(static_cast<std::int64_t>(*apply.restartSeconds + 0.5));  // whole seconds
    } else {
        json.Null();
    }
    json.Key("restartNote").String(RestartDropsConnectionsText());
}

std::wstring Finished(JsonWriter& json) {
    json.EndObject();
    return json.Text() + L"\r\n";
}

std::wstring StatusJson(const StatusReport& report) {
    JsonWriter json;
    BeginReport(json, CommandName(Command::Status), report.exitCode);
    json.Key("port").NumberOrNull(report.ConfiguredPort());
    WritePortKeys(json, report);
    json.Key("portsAgree").Bool(report.PortsAgree());
    json.Key("allowed").BoolOrNull(report.allowed);
    json.Key("policy");
    PolicyWord(json, report.policySet, report.PolicyDenies(), L"deny", L"allow");
    json.Key("policyValue").NumberOrNull(report.policyValue);
    json.Key("effective").BoolOrNull(report.effective);
    WriteNla(json, report.nla);
    json.Key("listening");
    PortsOrNull(json, report.listening);
    WriteServiceKeys(json, report.service);
    json.Key("firewall").String(VerdictName(report.firewall.tcp.Summary()));
    json.Key("firewallUdp").String(VerdictName(report.firewall.udp.Summary()));
    json.Key("firewallProfiles");
    WriteFirewallProfiles(json, report.firewall.tcp, report.firewall.udp);
    WriteOwnRules(json, report);
    json.Key("firewallUnreadableRules").Number(report.firewall.unreadableRules);
    json.Key("pendingRevert");
    WriteStatusPendingRevert(json, report);
    json.Key("error");
    WriteFailure(json, report.error);
    return Finished(json);
}

std::wstring ChangeJson(const ChangeReport& report) {
    if (report.command == Command::Nla) return NlaChangeJson(report);
    JsonWriter json;
    BeginReport(json, CommandName(report.command), report.exitCode);
    json.Key("whatIf").Bool(report.options.whatIf);
    if (report.command == Command::SetPort) {
        json.Key("port").Number(report.port).Key("previousPort").NumberOrNull(report.previousPort);
    } else {
        json.Key("allowed").Bool(report.command == Command::Enable);
        json.Key("previousAllowed").BoolOrNull(report.previousAllowed);
        json.Key("port").NumberOrNull(report.previousPort);
    }
    json.Key("changed").Bool(report.changed).Key("unchanged").Bool(report.alreadySet);
    WriteHazards(json, report.hazards);
    json.Key("refused").Bool(report.refused).Key("forced").Bool(report.forced);
    WriteFirewallRule(json, report.firewall);
    if (report.options.apply) WriteApply(json, report.apply);
    if (report.command == Command::SetPort) WriteRevertArming(json, report.revert);
    json.Key("error");
    WriteFailure(json, report.error);
    return Finished(json);
}

std::wstring HelpJson() {
    JsonWriter json;
    BeginReport(json, CommandName(Command::Help), kExitDone);
    json.Key("usage").String(UsageText()).Key("error").Null();
    return Finished(json);
}

std::wstring UsageErrorJson(const Invocation& call) {
    JsonWriter json;
    json.BeginObject().Key("command");
    if (call.command) {
        json.String(CommandName(*call.command));
    } else {
        json.Null();
    }
    json.Key("exitCode").Number(kExitUsage).Key("error");
    WriteFailure(json, Failure{0, call.usageError});
    return Finished(json);
}

}  // namespace console
