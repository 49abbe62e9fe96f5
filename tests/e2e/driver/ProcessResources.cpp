#include "driver/ProcessResources.h"

#include <vector>

#include "driver/WindowFinder.h"

namespace e2e {
namespace {

// SystemExtendedHandleInformation (class 64) of NtQuerySystemInformation, as ntdll lays it out; the
// older class 16 holds process ids in 16 bits only.
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG access;
    USHORT creatorBackTraceIndex;
    USHORT objectType;
    ULONG attributes;
    ULONG reserved;
};

struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// The process's entries in the system handle table; 0 when the table cannot be read.
DWORD HandlesInSystemTable(DWORD processId) {
    const auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    std::vector<ULONG_PTR> buffer(1 << 14);  // ULONG_PTR: the table's own alignment
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR));
        const LONG status = query(kSystemExtendedHandleInformation, buffer.data(), size, &needed);
        if (status == kStatusInfoLengthMismatch) {
            buffer.resize(buffer.size() * 2 + needed / sizeof(ULONG_PTR));
            continue;
        }
        if (status < 0) return 0;
        const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
        DWORD mine = 0;
        for (ULONG_PTR i = 0; i < table->count; ++i)
            if (table->entries[i].processId == processId) ++mine;
        return mine;
    }
    return 0;
}

DWORD WindowsOf(DWORD processId) {
    DWORD count = 0;
    for (HWND window : TopLevelWindowsOf(processId)) count += 1 + static_cast<DWORD>(ChildrenOf(window).size());
    for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
         window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) ++count;
    }
    return count;
}

std::string Describe(const char* name, const ResourceCount& count) {
    if (!count.Reported()) return std::string(name) + " not reported";
    return std::string(name) + " " + std::to_string(count.value) + " (" + count.source + ")";
}

}  // namespace

std::string ResourceCounts::Describe() const {
    return e2e::Describe("GDI objects", gdiObjects) + ", " + e2e::Describe("USER objects", userObjects) + ", " +
           e2e::Describe("handles", handles) + ", " + e2e::Describe("windows", windows);
}

std::optional<ResourceCounts> CountResources(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (!process) return std::nullopt;
    ResourceCounts counts;
    counts.gdiObjects = {GetGuiResources(process, GR_GDIOBJECTS), "GetGuiResources"};
    counts.userObjects = {GetGuiResources(process, GR_USEROBJECTS), "GetGuiResources"};
    DWORD handles = 0;
    if (GetProcessHandleCount(process, &handles) && handles != 0)
        counts.handles = {handles, "GetProcessHandleCount"};
    else
        counts.handles = {HandlesInSystemTable(processId), "system handle table"};
    CloseHandle(process);
    counts.windows = {WindowsOf(processId), "window enumeration"};
    return counts;
}

}  // namespace e2e
