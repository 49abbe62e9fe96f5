#pragma once
// The pending revert as both programs work it: arming it (the program's copy, the record, the task),
// looking it up, dropping it. A revert is pending exactly while its task exists.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "base/Failure.h"
#include "revert/PendingRevert.h"

namespace revert {

struct PendingLookup {
    HRESULT status = S_OK;  // of asking the Task Scheduler; S_OK also when nothing is pending
    std::optional<PendingRevert> plan;
    std::wstring armedAt;                  // from the record, when it has one
    std::optional<ULONGLONG> effectiveAt;  // from the record: when the new port took effect (UTC)
    std::optional<DWORD> watchProcessId;   // the watch that reported in (whether it still runs: WatchRunningCall)
    bool reverting = false;                // the revert has begun to put the old port back
};
PendingLookup LookUpPendingRevert();

// The revert a watch command line stands for, as WatchArguments writes it ("watch --from 3389 --to 3390
// --revert-after 600s --apply"); nothing for any other line.
std::optional<PendingRevert> PlanOfWatchArguments(const std::wstring& arguments);

// How long arming waits for the watch the Task Scheduler starts to report in, and how often it looks.
inline constexpr ULONGLONG kWatchReportMs = 30000;
inline constexpr DWORD kWatchReportPollMs = 250;

// What the program does while arming waits for the watch: `begins` once, when the wait begins (the
// console says so, the window shows it), and `pause` between two looks (the clock's pause when empty;
// the window answers its messages meanwhile).
struct WatchWait {
    std::function<void()> begins;
    std::function<void(DWORD ms)> pause;
};

// Copies `source` (an rdpport.com) where only administrators write, writes the record, registers the
// task, and waits for its watch to report in; `program` is the copy the task runs. When a step fails,
// what the earlier ones wrote is taken away again (the copy stays: it is the program, not a revert), and
// the failure says which step and why, as a clause without a full stop: each program says what follows.
std::optional<base::Failure> ArmRevert(const PendingRevert& plan, const std::wstring& source, std::wstring& program,
                                       const WatchWait& wait = {});

// The task first (it decides whether a revert is pending), then the record.
std::optional<base::Failure> DropRevert();

}  // namespace revert
