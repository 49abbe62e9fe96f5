#pragma once
// The console's words for the revert of a port change: what set-port, watch and confirm print, and the
// Application event log's lines (Simplified Chinese, like the rest).

#include <optional>
#include <string>

#include "console/Reports.h"
#include "revert/PendingRevert.h"

namespace console {

// set-port: armed (also the event's text), and what the administrator does next.
using revert::ArmedText;
using revert::RevertPlanText;
// The watch's outcome in one sentence (also the event's text).
std::wstring WatchOutcomeText(const WatchReport& report);
// confirm.
std::wstring ConfirmText(const ConfirmReport& report);
// A revert already waits: set-port --revert-after refuses to arm another.
std::wstring RevertPendingText(const revert::PendingRevert& pending);
// What status says of it.
// The event of a watch's start: when it will revert, or that it counts once the port takes effect.
std::wstring WatchStartedText(const revert::PendingRevert& plan, std::optional<ULONGLONG> effectiveAt);

// status's line: when the change took effect and when it is due (or that it has not taken effect yet),
// and whether its watch runs.
std::wstring PendingRevertLine(const revert::PendingRevert& pending, const std::wstring& armedAt,
                              std::optional<ULONGLONG> effectiveAt, bool watchRunning);

}  // namespace console
