#include "driver/RemoteDesktopRegistry.h"

#include <aclapi.h>

#include <cstring>

namespace e2e {
namespace {

class Key {
public:
    Key() = default;
    ~Key() {
        if (m_key) RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* Put() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

LSTATUS CreateKey(const std::wstring& path, DWORD options, Key& key) {
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr, key.Put(),
                           nullptr);
}

// Gives the key a NULL DACL (everyone may open it): the way back when an earlier case could not restore it.
void ForgetDacl(const std::wstring& path) {
    Key key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, key.Put()) != ERROR_SUCCESS) return;
    SetSecurityInfo(key.Get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

bool StoredValue::IsDword(DWORD expected) const {
    if (type != REG_DWORD || data.size() != sizeof(DWORD)) return false;
    DWORD value = 0;
    std::memcpy(&value, data.data(), sizeof(value));
    return value == expected;
}

std::optional<StoredValue> ReadStored(const std::wstring& keyPath, const std::wstring& valueName) {
    Key key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return std::nullopt;
    StoredValue stored;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &stored.type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    stored.data.resize(size);
    if (RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &stored.type, stored.data.data(), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    stored.data.resize(size);
    return stored;
}

LSTATUS WriteDword(const std::wstring& keyPath, const std::wstring& valueName, DWORD value) {
    Key key;
    if (const LSTATUS status = CreateKey(keyPath, REG_OPTION_NON_VOLATILE, key); status != ERROR_SUCCESS) return status;
    return RegSetValueExW(key.Get(), valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value));
}

LSTATUS SeedRemoteDesktop(DWORD port, DWORD deny) {
    LSTATUS status = WriteDword(kTerminalServerKey, kDenyValue, deny);
    if (status == ERROR_ACCESS_DENIED) {
        ForgetDacl(kTerminalServerKey);
        status = WriteDword(kTerminalServerKey, kDenyValue, deny);
    }
    if (status != ERROR_SUCCESS) return status;
    if ((status = WriteDword(kRdpTcpKey, kPortValue, port)) != ERROR_SUCCESS) return status;
    status = WriteDword(kRdpwdTcpKey, kPortValue, port);
    if (status == ERROR_CHILD_MUST_BE_VOLATILE) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kWdsKey);
        status = WriteDword(kRdpwdTcpKey, kPortValue, port);
    }
    return status;
}

ScopedVolatileWdsKey::ScopedVolatileWdsKey() {
    const LSTATUS deleted = RegDeleteTreeW(HKEY_LOCAL_MACHINE, kWdsKey);
    if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) {
        m_status = deleted;
        return;
    }
    Key key;
    m_status = CreateKey(kWdsKey, REG_OPTION_VOLATILE, key);
}

ScopedVolatileWdsKey::~ScopedVolatileWdsKey() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kWdsKey); }

ScopedEmptyDacl::ScopedEmptyDacl(std::wstring keyPath) : m_keyPath(std::move(keyPath)) {
    Key key;
    m_status = static_cast<DWORD>(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, m_keyPath.c_str(), 0, READ_CONTROL | WRITE_DAC, key.Put()));
    if (m_status != ERROR_SUCCESS) return;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    m_status = GetSecurityInfo(key.Get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                               &descriptor);
    if (m_status != ERROR_SUCCESS) return;
    const DWORD length = GetSecurityDescriptorLength(descriptor);
    m_original.assign(static_cast<BYTE*>(descriptor), static_cast<BYTE*>(descriptor) + length);
    LocalFree(descriptor);

    ACL empty{};
    if (!InitializeAcl(&empty, sizeof(empty), ACL_REVISION)) {
        m_status = GetLastError();
        return;
    }
    m_status =
        SetSecurityInfo(key.Get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &empty, nullptr);
    m_applied = m_status == ERROR_SUCCESS;
}

ScopedEmptyDacl::~ScopedEmptyDacl() { Restore(); }

DWORD ScopedEmptyDacl::Restore() {
    if (!m_applied) return ERROR_SUCCESS;
    Key key;
    DWORD status = static_cast<DWORD>(RegOpenKeyExW(HKEY_LOCAL_MACHINE, m_keyPath.c_str(), 0, WRITE_DAC, key.Put()));
    if (status != ERROR_SUCCESS) return status;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(m_original.data(), &present, &dacl, &defaulted)) return GetLastError();
    status = SetSecurityInfo(key.Get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                             present ? dacl : nullptr, nullptr);
    if (status == ERROR_SUCCESS) m_applied = false;
    return status;
}

}  // namespace e2e
