// The JSON of the revert: set-port's "revert", status's "pendingRevert", and watch's and confirm's
// objects.

#include "console/JsonParts.h"
#include "revert/RevertRecord.h"
#include "console/Render.h"
#include "console/RevertTexts.h"

namespace console {
namespace {

const wchar_t* OutcomeName(WatchOutcome outcome) {
    switch (outcome) {
        case WatchOutcome::Confirmed:
            return L"confirmed";
        case WatchOutcome::Cancelled:
            return L"cancelled";
        case WatchOutcome::Reverted:
            return L"reverted";
        case WatchOutcome::Superseded:
            return L"superseded";
        case WatchOutcome::Failed:
            break;
    }
    return L"failed";
}

void WritePlanMembers(JsonWriter& json, const revert::PendingRevert& plan) {
    json.Key("from").Number(plan.from).Key("to").Number(plan.to);
    json.Key("revertAfterSeconds").Number(plan.seconds).Key("apply").Bool(plan.apply);
}

void StringOrNull(JsonWriter& json, const std::wstring& text) {
    if (text.empty()) {
        json.Null();
    } else {
        json.String(text);
    }
}

}  // namespace

void WriteStatusPendingRevert(JsonWriter& json, const StatusReport& report) {
    if (!report.pendingRevert) {
        json.Null();
        return;
    }
    const revert::PendingRevert& plan = *report.pendingRevert;
    json.BeginObject();
    WritePlanMembers(json, plan);
    // When the new port took effect and when the revert is due (ISO 8601, UTC); null before that.
    const std::optional<ULONGLONG>& effective = report.pendingRevertEffectiveAt;
    json.Key("effectiveAt");
    StringOrNull(json, effective ? revert::UtcText(*effective) : std::wstring());
    json.Key("deadline");
    StringOrNull(json, effective ? revert::UtcText(revert::DueAt(plan, *effective))
                                 : std::wstring());
    json.Key("watchRunning").Bool(report.pendingRevertWatchRunning);
    json.EndObject();
}

void WritePendingRevert(JsonWriter& json, const std::optional<revert::PendingRevert>& plan) {
    if (!plan) {
        json.Null();
        return;
    }
    json.BeginObject();
    WritePlanMembers(json, *plan);
    json.EndObject();
}

void WriteRevertArming(JsonWriter& json, const RevertArming& revert) {
    json.Key("revert");
    if (!revert.asked) {
        json.Null();
        return;
    }
    json.BeginObject().Key("armed").Bool(revert.armed);
    WritePlanMembers(json, revert.plan);
    json.Key("program");
    StringOrNull(json, revert.program);
    json.Key("note");
    StringOrNull(json, revert.notArmed);
    json.EndObject();
}

std::wstring WatchJson(const WatchReport& report) {
    JsonWriter json;
    BeginReport(json, CommandName(Command::Watch), report.exitCode);
    json.Key("outcome").String(OutcomeName(report.outcome));
    WritePlanMembers(json, report.plan);
    json.Key("confirmedBy");
    if (report.confirmedBy) {
        json.BeginObject().Key("session").Number(report.confirmedBy->id).Key("user").String(report.confirmedBy->user);
        json.Key("clientAddress");
        StringOrNull(json, report.confirmedBy->client ? report.confirmedBy->client->Text() : std::wstring());
        json.EndObject();
    } else {
        json.Null();
    }
    json.Key("waitedSeconds").Number(static_cast<std::int64_t>(report.waitedSeconds + 0.5));
    WriteFirewallRule(json, report.firewall);
    if (report.apply.restartTried) WriteApply(json, report.apply);
    json.Key("text").String(WatchOutcomeText(report));
    json.Key("error");
    WriteFailure(json, report.error);
    return Finished(json);
}

std::wstring ConfirmJson(const ConfirmReport& report) {
    JsonWriter json;
    BeginReport(json, CommandName(Command::Confirm), report.exitCode);
    json.Key("confirmed").Bool(report.confirmed).Key("pendingRevert");
    WritePendingRevert(json, report.plan);
    json.Key("firewallRulesRemoved").BeginArray();
    for (const std::wstring& name : report.rulesRemoved) json.String(name);
    json.EndArray().Key("firewallRulesKept");
    StringOrNull(json, report.rulesKept);
    json.Key("error");
    WriteFailure(json, report.error);
    return Finished(json);
}

}  // namespace console
