#pragma once
// The reports as the console prints them: Chinese text for people, one JSON object for scripts.

#include <string>

#include "console/Arguments.h"
#include "console/Output.h"
#include "console/Reports.h"

namespace console {

void PrintStatusText(const StatusReport& report, OutputSink& sink);
void PrintChangeText(const ChangeReport& report, OutputSink& sink);

std::wstring StatusJson(const StatusReport& report);
std::wstring ChangeJson(const ChangeReport& report);
void PrintWatchText(const WatchReport& report, OutputSink& sink);
void PrintConfirmText(const ConfirmReport& report, OutputSink& sink);
std::wstring WatchJson(const WatchReport& report);
std::wstring ConfirmJson(const ConfirmReport& report);
void PrintFirewallText(const FirewallReport& report, OutputSink& sink);
std::wstring FirewallJson(const FirewallReport& report);
// help --json, and every usage error under --json ("command" is null when none was recognised).
std::wstring HelpJson();
std::wstring UsageErrorJson(const Invocation& call);

}  // namespace console
