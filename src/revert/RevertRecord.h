#pragma once
// The record of a pending revert under HKLM\SOFTWARE: what it will do and when it was armed. The task
// decides whether a revert is pending; the record gives its details and goes with it. One replaceable
// table, so tests can make its writes fail.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "revert/PendingRevert.h"

namespace revert {

struct RevertRecord {
    PendingRevert plan;
    std::wstring armedAt;  // UTC, "2026-12-08T16:40:05Z"
    // What the watch adds (UTC FILETIMEs): that it runs, and when the new port took effect, from which
    // moment its period counts (a watch started again goes on with that countdown).
    std::optional<DWORD> watchProcessId;
    std::optional<ULONGLONG> watchStartedAt;
    std::optional<ULONGLONG> effectiveAt;
    // The revert has begun to write the old port back: whatever happens next (a failure, a kill, a
    // restart of the computer), a watch finishes it and confirms nothing.
    bool reverting = false;
};

struct RecordStore {
    std::function<LONG(const RevertRecord& record)> Write;
    // ERROR_FILE_NOT_FOUND when there is no record; ERROR_INVALID_DATA when a value is missing or
    // not of its type.
    std::function<LONG(RevertRecord& record)> Read;
    // ERROR_SUCCESS also when there was none.
    std::function<LONG()> Delete;
};
RecordStore RealRecordStore();
// The table in use; tests assign to it and put RealRecordStore() back.
RecordStore& RecordStoreCalls();

// Now, in the record's form.
std::wstring UtcNowText();
// A UTC FILETIME in the record's form.
std::wstring UtcText(ULONGLONG filetime);

}  // namespace revert
