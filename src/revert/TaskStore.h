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

}  // namespace revert
