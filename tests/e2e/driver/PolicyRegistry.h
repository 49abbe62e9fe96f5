#pragma once
// Group Policy's copy of the deny flag (HKLM\SOFTWARE\Policies\Microsoft\Windows NT\Terminal
// Services), which overrides the local one. A case sets it for one scope; the keys the scope created
// are deleted again however the case ends, so no other case ever sees a policy.

#include <windows.h>

#include <optional>
#include <string>

#include "driver/RemoteDesktopRegistry.h"

namespace e2e {

inline constexpr const wchar_t* kPolicyKey = L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Terminal Services";

bool PolicyKeyExists();
// Deletes the policy key with its values: nothing but these cases writes it in the test prefix, so
// one that is there was left by a case that could not clean up (the driver was killed).
void RemoveLeftoverPolicyKey();

class ScopedPolicyFlag {
public:
    explicit ScopedPolicyFlag(DWORD deny);
    ~ScopedPolicyFlag();
    ScopedPolicyFlag(const ScopedPolicyFlag&) = delete;
    ScopedPolicyFlag& operator=(const ScopedPolicyFlag&) = delete;

    LSTATUS Status() const { return m_status; }

private:
    std::wstring m_createdRoot;           // the outermost key created, empty when all were there
    std::optional<StoredValue> m_before;  // the value as it was
    LSTATUS m_status = ERROR_SUCCESS;
};

}  // namespace e2e
