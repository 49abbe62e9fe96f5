#pragma once
// The revert task in the Task Scheduler (its 2.0 COM interface): registered from XML, read back as XML,
// deleted. One replaceable table, so tests can answer, record the calls and make them fail.

#include <windows.h>

#include <functional>
#include <string>

namespace revert {

struct TaskStore {
    // Creates the program's task folder if needed and registers (or replaces) the task.
    std::function<HRESULT(const std::wstring& xml)> Register;
    // S_OK and the task's XML; kTaskMissing when there is no such task.
    std::function<HRESULT(std::wstring& xml)> Read;
    // S_OK also when there was none to delete.
    std::function<HRESULT()> Delete;
};
TaskStore RealTaskStore();
// The table in use; tests assign to it and put RealTaskStore() back.
TaskStore& TaskStoreCalls();

// What Read answers when the task (or its folder) does not exist.
inline const HRESULT kTaskMissing = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
// What Register answers when the program's task folder exists and lets somebody other than SYSTEM and
// Administrators change it (TaskFolderOpenTo() names the account), and when the Task Scheduler took the
// task with a warning (some trigger or the logon failed), so that it may never start.
inline const HRESULT kTaskFolderNotPrivate = HRESULT_FROM_WIN32(ERROR_INVALID_OWNER);
inline const HRESULT kTaskPartlyRegistered = HRESULT_FROM_WIN32(ERROR_INVALID_FUNCTION);
// The account of the last kTaskFolderNotPrivate (a SID as text).
std::wstring& TaskFolderOpenTo();

}  // namespace revert
