#pragma once
// A port change that puts itself back unless the administrator gets in on the new port: what is undone,
// after how long, and where the pieces that carry it across a restart of the computer live. Nothing here
// touches Windows; the stores and the watch's outside effects are in the other files of this folder.

#include <cstdint>
#include <string>

namespace revert {

// From 10 seconds to 24 hours.
inline constexpr std::uint32_t kShortestSeconds = 10;
inline constexpr std::uint32_t kLongestSeconds = 24 * 60 * 60;

struct PendingRevert {
    std::uint16_t from = 0;     // the port put back
    std::uint16_t to = 0;       // the port that must prove reachable
    std::uint32_t seconds = 0;  // how long the watch waits for a connection from outside
    bool apply = false;         // the Remote Desktop service is restarted on the way back too
    bool operator==(const PendingRevert&) const = default;
};

// The task that runs the watch: its folder and name in the Task Scheduler.
inline constexpr const wchar_t* kTaskFolder = L"\\Korvane RdpPort";
inline constexpr const wchar_t* kTaskName = L"PendingRevert";
// The record of the pending revert, below HKLM (it keeps the permissions HKLM\SOFTWARE hands down:
// administrators and SYSTEM write).
inline constexpr const wchar_t* kRecordKey = L"SOFTWARE\\Korvane\\RdpPort\\PendingRevert";
// The folder below Program Files that holds the copy of rdpport.com the task runs.
inline constexpr const wchar_t* kProgramFolder = L"Korvane RdpPort";
inline constexpr const wchar_t* kProgramFile = L"rdpport.com";
// The Application event log's source for what happens while nobody watches.
inline constexpr const wchar_t* kEventSource = L"Korvane RdpPort";

// When the revert is due: `seconds` after the new port took effect (UTC FILETIMEs).
constexpr unsigned long long DueAt(const PendingRevert& plan, unsigned long long effectiveAt) {
    return effectiveAt + plan.seconds * 10000000ULL;
}

// The watch's command line after the program name, as the task runs it:
// "watch --from 3389 --to 3390 --revert-after 600s --apply".
std::wstring WatchArguments(const PendingRevert& plan);

// "10 分钟", "90 秒", "2 小时": the duration as people read it.
std::wstring DurationText(std::uint32_t seconds);

// What the revert will do: "若端口 3390生效后 10 分钟内没有……将自动改回端口 3389。"
std::wstring RevertPlanText(const PendingRevert& plan);
// Armed (the console's line and the event's text).
std::wstring ArmedText(const PendingRevert& plan);

}  // namespace revert
