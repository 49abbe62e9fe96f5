#include "driver/PolicyRegistry.h"

namespace e2e {
namespace {

bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void DeleteKeyTree(const std::wstring& path) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
}

}  // namespace

bool PolicyKeyExists() { return KeyExists(kPolicyKey); }

void RemoveLeftoverPolicyKey() {
    if (PolicyKeyExists()) DeleteKeyTree(kPolicyKey);
}

ScopedPolicyFlag::ScopedPolicyFlag(DWORD deny) {
    const std::wstring path = kPolicyKey;
    for (size_t end = path.find(L'\\');; end = path.find(L'\\', end + 1)) {
        const std::wstring prefix = path.substr(0, end);
        if (!KeyExists(prefix)) {
            m_createdRoot = prefix;
            break;
        }
        if (end == std::wstring::npos) break;
    }
    if (m_createdRoot.empty()) m_before = ReadStored(kPolicyKey, kDenyValue);
    m_status = WriteDword(kPolicyKey, kDenyValue, deny);
}

ScopedPolicyFlag::~ScopedPolicyFlag() {
    if (!m_createdRoot.empty()) {
        DeleteKeyTree(m_createdRoot);
    } else if (m_before) {
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPolicyKey, kDenyValue, m_before->type, m_before->data.data(),
                        static_cast<DWORD>(m_before->data.size()));
    } else {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPolicyKey, kDenyValue);
    }
}

}  // namespace e2e
