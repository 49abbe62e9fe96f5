#pragma once
// The pieces every command's JSON object is made of, shared by the renderers.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/JsonWriter.h"
#include "console/Reports.h"

namespace console {

using base::JsonQuoted;
using base::JsonWriter;

// {"command": ..., "exitCode": ...: the object's first two members.
void BeginReport(JsonWriter& json, const wchar_t* command, int exitCode);
// {code, text}, or null; code null when there is no Windows code.
void WriteFailure(JsonWriter& json, const std::optional<Failure>& failure);
// "firewallRule": {port, result, rules}, or null when the firewall was not asked.
void WriteFirewallRule(JsonWriter& json, const FirewallOutcome& firewall);
// A profile's JSON name ("domain", "private", "public") and a verdict's ("open", "closed", "unknown").
const wchar_t* ProfileKey(long profileType);
const wchar_t* ProfileVerdictName(guard::FirewallVerdict verdict);
// {"tcp": {"domain": V, "private": V, "public": V}, "udp": {...}}, or null when the firewall was not
// judged (no port, or a firewall that could not be read).
void WriteFirewallProfiles(JsonWriter& json, const guard::firewall::Assessment& tcp,
                           const guard::firewall::Assessment& udp);
// A list of ports, or null when Windows did not tell.
void PortsOrNull(JsonWriter& json, const std::optional<std::vector<std::uint16_t>>& ports);
// --apply: applied, listeningAfter, restartSeconds and the restart's warning.
void WriteApply(JsonWriter& json, const ApplyOutcome& apply);
// status's {from, to, revertAfterSeconds, apply, effectiveAt, deadline, watchRunning}, or null.
void WriteStatusPendingRevert(JsonWriter& json, const StatusReport& report);
// {from, to, revertAfterSeconds, apply}, or null.
void WritePendingRevert(JsonWriter& json, const std::optional<revert::PendingRevert>& plan);
// set-port: "revert": null when --revert-after was not given, else {armed, from, to, revertAfterSeconds,
// apply, program, note}.
void WriteRevertArming(JsonWriter& json, const RevertArming& revert);
// Closes the object; the text with its line end.
std::wstring Finished(JsonWriter& json);

}  // namespace console
