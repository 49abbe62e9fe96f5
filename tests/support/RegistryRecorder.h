#pragma once
// Records every call the program makes through its registry table (settings::Registry()) and forwards
// it to Wine's real registry, or makes it fail. In-process only: it replaces the program's own table.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "settings/RegistryApi.h"

namespace testkit {

// One call the program made through its registry table.
struct RegCall {
    std::string function;  // "Create", "Open", "Query", "Set", "Close"
    HKEY key = nullptr;    // the key used, or for Create/Open the key obtained
    HKEY root = nullptr;   // Create/Open: the key the path starts from
    std::string path;      // sub-key path for Create/Open, value name for Query/Set
    DWORD reserved = 0;
    std::string keyClass;
    DWORD options = 0;
    REGSAM access = 0;
    bool hasAttributes = false;
    SECURITY_ATTRIBUTES attributes{};
    bool hasData = false;
    DWORD size = 0;
    DWORD type = 0;
    std::vector<BYTE> data;
    LONG status = 0;
};

// Records every registry call and forwards it to the real registry, unless `fail` returns a status
// other than 0 for it: then that status is returned and nothing reaches the registry.
class RegistryRecorder {
public:
    RegistryRecorder();
    ~RegistryRecorder();
    RegistryRecorder(const RegistryRecorder&) = delete;
    RegistryRecorder& operator=(const RegistryRecorder&) = delete;

    std::function<LONG(const RegCall&)> fail;
    // Replaces the answer of a forwarded query (type and size), after the real call.
    std::function<void(RegCall&, LPDWORD type, LPDWORD size)> alterQuery;
    std::vector<RegCall> calls;

    std::vector<RegCall> Of(const std::string& function) const;
    int OpenedKeys() const;  // successful creates and opens
    int ClosedKeys() const;

private:
    settings::RegistryApi m_real;
};

}  // namespace testkit
