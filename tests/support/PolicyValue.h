#pragma once
// Group Policy's deny flag in Wine's real registry for one scope. The registry is left as it was
// found: the keys the scope had to create are deleted again, a value that was there is put back.

#include <windows.h>

#include <optional>
#include <string>

#include "support/RegistryKit.h"

namespace testkit {

inline constexpr const char* kPolicyKey = "SOFTWARE\\Policies\\Microsoft\\Windows NT\\Terminal Services";

class ScopedPolicyFlag {
public:
    explicit ScopedPolicyFlag(DWORD deny);
    ~ScopedPolicyFlag();
    ScopedPolicyFlag(const ScopedPolicyFlag&) = delete;
    ScopedPolicyFlag& operator=(const ScopedPolicyFlag&) = delete;

private:
    std::string m_createdRoot;         // the outermost key this scope created, empty when none
    std::optional<RawValue> m_before;  // the value as it was, when the key was there
};

}  // namespace testkit
