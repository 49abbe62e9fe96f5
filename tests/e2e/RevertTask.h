#pragma once
// A revert armed by rdpport.com set-port --revert-after, with its task run as the Task Scheduler would
// run it: Wine's scheduler keeps the task but neither its triggers nor its action, and never runs it,
// so the watch is started from the record the program keeps next to the task.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/ConsoleProgram.h"

namespace e2e {

// Where the program puts what the revert needs (its own names, as an administrator finds them).
inline constexpr const wchar_t* kProgramFolder = L"C:\\Program Files\\Korvane RdpPort";
inline constexpr const wchar_t* kCopy = L"C:\\Program Files\\Korvane RdpPort\\rdpport.com";
inline constexpr const char* kVendorKey = "SOFTWARE\\Korvane\\RdpPort";
inline constexpr const char* kRecordKey = "SOFTWARE\\Korvane\\RdpPort\\PendingRevert";
// Wine's Task Scheduler keeps each task as a file below system32\tasks, folders as folders.
inline constexpr const wchar_t* kTaskFolderFile = L"C:\\windows\\system32\\tasks\\Korvane RdpPort";
inline constexpr const wchar_t* kTaskFile = L"C:\\windows\\system32\\tasks\\Korvane RdpPort\\PendingRevert";

inline bool FileExists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// No revert pending: confirmed, and the record gone.
void ClearRevert();

// The task's command line as the scheduler would run it: the copy, with the watch's arguments as the
// record gives them.
std::vector<std::wstring> TaskArguments();

// set-port with --revert-after, its task run as the scheduler's registration trigger runs it: once
// the task is registered, the watch is started from the record, and set-port, which waits for the
// watch to report in, then goes on. The watch runs on; the case finishes it.
struct Armed {
    ConsoleOutcome setPort;
    std::unique_ptr<ConsoleChild> watch;
};
Armed ArmRunningTheTask(const std::vector<std::wstring>& args);

}  // namespace e2e
