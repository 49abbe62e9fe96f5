#pragma once
// The revert task as the Task Scheduler's XML (Task Scheduler schema, learn.microsoft.com/windows/win32/
// taskschd/task-scheduler-schema): registered in one ITaskFolder::RegisterTask call, and read back for
// status. Building the task through the object model is not used: Wine answers E_NOTIMPL to its trigger,
// logon type and run level setters, and the XML says the same on every Windows since Vista.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "revert/PendingRevert.h"

namespace revert {

// The task: run `program` with the watch's arguments as SYSTEM with the highest privileges, at once
// (when registered), at every start of the computer, and every 5 minutes (a watch still running is
// left alone).
// `localNow` is the moment of arming in local time (the schema's time without a zone is local).
std::wstring RevertTaskXml(const PendingRevert& plan, const std::wstring& program, const SYSTEMTIME& localNow);

// A task's <Command> without the quotes the program writes around it.
std::wstring UnquotedCommand(std::wstring_view command);

// The text of the first element of that name (its entities resolved); nothing when there is none.
std::optional<std::wstring> ElementText(std::wstring_view xml, std::wstring_view name);

// "2026-12-08T16:40:05": the time as the schema's dateTime writes it, without a zone.
std::wstring DateTimeText(const SYSTEMTIME& t);

// Text made safe inside an XML element.
std::wstring XmlEscaped(std::wstring_view text);

}  // namespace revert
