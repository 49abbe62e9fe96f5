#pragma once
// The pending revert as the console's commands work it: arming it (the program's copy, the record, the
// task), looking it up, dropping it. A revert is pending exactly while its task exists.

#include <windows.h>

#include <optional>
#include <string>

#include "console/Reports.h"
#include "revert/PendingRevert.h"

namespace console {

struct PendingLookup {
    HRESULT status = S_OK;  // of asking the Task Scheduler; S_OK also when nothing is pending
    std::optional<revert::PendingRevert> plan;
    std::wstring armedAt;  // from the record, when it has one
    std::optional<ULONGLONG> effectiveAt;  // from the record: when the new port took effect (UTC)
    bool watchRunning = false;             // the watch that reported in still runs
    bool reverting = false;                // the revert has begun to put the old port back
};
PendingLookup LookUpPendingRevert();

// The revert a watch command line stands for ("watch --from 3389 --to 3390 --revert-after 600s");
// nothing for any other line.
std::optional<revert::PendingRevert> PlanOfWatchArguments(const std::wstring& arguments);

// How long arming waits for the watch the Task Scheduler starts to report in, and how often it looks.
inline constexpr ULONGLONG kWatchReportMs = 30000;
inline constexpr DWORD kWatchReportPollMs = 250;

// Copies the program where only administrators write, writes the record, registers the task, and
// waits for its watch to report in. When a step fails, what the earlier ones wrote is taken away
// again (the copy stays: it is the program, not a revert), and the failure says which step.
std::optional<Failure> ArmRevert(const revert::PendingRevert& plan, std::wstring& program);

// The task first (it decides whether a revert is pending), then the record.
std::optional<Failure> DropRevert();

}  // namespace console
