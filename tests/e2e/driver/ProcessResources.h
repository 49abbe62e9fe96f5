#pragma once
// What another process holds from the system: GDI objects, USER objects and kernel handles as Task
// Manager counts them, and its windows. Wine answers 0 for the first three (GetGuiResources is a stub,
// GetProcessHandleCount gives 0), so the handles are then counted in the system handle table instead;
// a count of 0 for a running GUI program means "not reported", never a real zero.

#include <windows.h>

#include <optional>
#include <string>

namespace e2e {

struct ResourceCount {
    DWORD value = 0;
    const char* source = "";  // how it was counted

    bool Reported() const { return value != 0; }
};

struct ResourceCounts {
    ResourceCount gdiObjects;
    ResourceCount userObjects;
    ResourceCount handles;
    ResourceCount windows;  // top-level, child and message-only windows of the process

    std::string Describe() const;  // "GDI objects 12 (GetGuiResources), ..., handles not reported"
};

// The counts of a running process; nothing when it cannot be opened for querying.
std::optional<ResourceCounts> CountResources(DWORD processId);

}  // namespace e2e
