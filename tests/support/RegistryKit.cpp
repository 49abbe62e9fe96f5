#include "support/RegistryKit.h"

#include <aclapi.h>

#include <cstring>

namespace testkit {
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

LSTATUS Open(const std::string& path, REGSAM access, Key& key) {
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, key.Put());
}

LSTATUS Create(const std::string& path, DWORD options, REGSAM access, Key& key) {
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, options, access, nullptr, key.Put(), nullptr);
}

// The write itself, without reporting: seeding tries again after a repair before it reports.
LSTATUS SetValue(const std::string& path, const std::string& name, DWORD type, const std::vector<BYTE>& bytes) {
    Key key;
    if (const LSTATUS status = Create(path, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, key); status != ERROR_SUCCESS)
        return status;
    return RegSetValueExA(key.Get(), name.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

LSTATUS RemoveValue(const std::string& path, const std::string& name) {
    Key key;
    if (const LSTATUS status = Open(path, KEY_SET_VALUE, key); status != ERROR_SUCCESS) return status;
    return RegDeleteValueA(key.Get(), name.c_str());
}

std::vector<BYTE> DwordBytes(DWORD value) {
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

LSTATUS Reported(LSTATUS status, const char* what, const std::string& path, const std::string& name = {}) {
    if (status != ERROR_SUCCESS)
        ADD_FAILURE() << what << " HKLM\\" << path << (name.empty() ? "" : "\\" + name) << " failed with " << status;
    return status;
}

// Gives the key a NULL DACL (everyone may open it): the way back when an earlier case could not put the
// original DACL back. The key's owner may always change its DACL.
void ForgetDacl(const std::string& path) {
    Key key;
    if (Open(path, WRITE_DAC, key) != ERROR_SUCCESS) return;
    SetSecurityInfo(key.Get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

bool RawValue::IsDword(DWORD expected) const {
    if (type != REG_DWORD || bytes.size() != sizeof(DWORD)) return false;
    DWORD value = 0;
    std::memcpy(&value, bytes.data(), sizeof(value));
    return value == expected;
}

LSTATUS WriteRaw(const std::string& path, const std::string& name, DWORD type, const std::vector<BYTE>& bytes) {
    return Reported(SetValue(path, name, type, bytes), "writing", path, name);
}

LSTATUS WriteDword(const std::string& path, const std::string& name, DWORD value) {
    return WriteRaw(path, name, REG_DWORD, DwordBytes(value));
}

LSTATUS WriteString(const std::string& path, const std::string& name, const std::string& text, DWORD type) {
    std::vector<BYTE> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return WriteRaw(path, name, type, bytes);
}

LSTATUS DeleteValue(const std::string& path, const std::string& name) {
    return Reported(RemoveValue(path, name), "deleting", path, name);
}

std::optional<RawValue> ReadRaw(const std::string& path, const std::string& name) {
    Key key;
    if (Open(path, KEY_QUERY_VALUE, key) != ERROR_SUCCESS) return std::nullopt;
    RawValue value;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.bytes.resize(size);
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &value.type, value.bytes.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.bytes.resize(size);
    return value;
}

std::optional<DWORD> ReadDword(const std::string& path, const std::string& name) {
    const std::optional<RawValue> raw = ReadRaw(path, name);
    if (!raw || raw->type != REG_DWORD || raw->bytes.size() != sizeof(DWORD)) return std::nullopt;
    DWORD value = 0;
    std::memcpy(&value, raw->bytes.data(), sizeof(value));
    return value;
}

bool KeyExists(const std::string& path) {
    Key key;
    return Open(path, KEY_READ, key) == ERROR_SUCCESS;
}

std::string KeyClass(const std::string& path) {
    Key key;
    if (Open(path, KEY_READ, key) != ERROR_SUCCESS) return "<missing>";
    char keyClass[64] = {};
    DWORD length = sizeof(keyClass);
    RegQueryInfoKeyA(key.Get(), keyClass, &length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    return std::string(keyClass, length);
}

std::optional<FILETIME> LastWriteTime(const std::string& path) {
    Key key;
    if (Open(path, KEY_QUERY_VALUE, key) != ERROR_SUCCESS) return std::nullopt;
    FILETIME written{};
    if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &written) != ERROR_SUCCESS)
        return std::nullopt;
    return written;
}

void DeleteTree(const std::string& path) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

testing::AssertionResult DwordAt(const std::string& path, const std::string& name, DWORD expected) {
    const std::optional<RawValue> stored = ReadRaw(path, name);
    if (!stored) return testing::AssertionFailure() << path << "\\" << name << " is missing";
    if (stored->IsDword(expected)) return testing::AssertionSuccess();
    testing::AssertionResult failure = testing::AssertionFailure();
    failure << path << "\\" << name << " is type " << stored->type << " with bytes";
    for (BYTE b : stored->bytes) failure << " " << static_cast<int>(b);
    return failure << "; expected REG_DWORD " << expected;
}

testing::AssertionResult BothPortKeysHold(DWORD port) {
    if (testing::AssertionResult first = DwordAt(kRdpTcp, kPortValue, port); !first) return first;
    return DwordAt(kRdpwdTcp, kPortValue, port);
}

LSTATUS SeedRemoteDesktop(DWORD port, DWORD deny) {
    const struct {
        const char* path;
        const char* name;
        DWORD value;
    } values[] = {{kTerminalServer, kDenyValue, deny}, {kRdpTcp, kPortValue, port}, {kRdpwdTcp, kPortValue, port}};
    for (const auto& v : values) {
        LSTATUS status = SetValue(v.path, v.name, REG_DWORD, DwordBytes(v.value));
        if (status == ERROR_ACCESS_DENIED) {
            ForgetDacl(v.path);
            status = SetValue(v.path, v.name, REG_DWORD, DwordBytes(v.value));
        } else if (status == ERROR_CHILD_MUST_BE_VOLATILE) {
            DeleteTree(kWds);
            status = SetValue(v.path, v.name, REG_DWORD, DwordBytes(v.value));
        }
        if (status != ERROR_SUCCESS) return Reported(status, "seeding", v.path, v.name);
    }
    return ERROR_SUCCESS;
}

RemoteDesktopSnapshot::RemoteDesktopSnapshot() {
    for (const auto& [path, name] : {std::pair{kRdpTcp, kPortValue}, std::pair{kRdpwdTcp, kPortValue},
                                     std::pair{kTerminalServer, kDenyValue}, std::pair{kRdpTcp, kNlaValue}})
        m_saved.push_back({path, name, ReadRaw(path, name)});
}

RemoteDesktopSnapshot::~RemoteDesktopSnapshot() { Restore(); }

LSTATUS RemoteDesktopSnapshot::Restore() const {
    LSTATUS first = ERROR_SUCCESS;
    for (const Saved& saved : m_saved) {
        LSTATUS status = saved.value ? SetValue(saved.path, saved.name, saved.value->type, saved.value->bytes)
                                     : RemoveValue(saved.path, saved.name);
        if (status == ERROR_FILE_NOT_FOUND && !saved.value) status = ERROR_SUCCESS;
        if (first == ERROR_SUCCESS) first = status;
    }
    return first;
}

ScopedDacl::ScopedDacl(std::string path, const ACL* dacl) : m_path(std::move(path)) {
    Key key;
    m_status = static_cast<DWORD>(Open(m_path, READ_CONTROL | WRITE_DAC, key));
    if (m_status == ERROR_SUCCESS) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        PACL original = nullptr;
        m_status = GetSecurityInfo(key.Get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                   &original, nullptr, &descriptor);
        if (m_status == ERROR_SUCCESS) {
            const DWORD length = GetSecurityDescriptorLength(descriptor);
            m_original.assign(static_cast<BYTE*>(descriptor), static_cast<BYTE*>(descriptor) + length);
            LocalFree(descriptor);
            m_status = SetSecurityInfo(key.Get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                       const_cast<ACL*>(dacl), nullptr);
            m_applied = m_status == ERROR_SUCCESS;
        }
    }
    Reported(static_cast<LSTATUS>(m_status), "putting a new DACL on", m_path);
}

ScopedDacl::~ScopedDacl() { Restore(); }

DWORD ScopedDacl::Restore() {
    if (!m_applied) return ERROR_SUCCESS;
    Key key;
    DWORD status = static_cast<DWORD>(Open(m_path, WRITE_DAC, key));
    if (status == ERROR_SUCCESS) {
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL dacl = nullptr;
        status = GetSecurityDescriptorDacl(m_original.data(), &present, &dacl, &defaulted)
                     ? SetSecurityInfo(key.Get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                       present ? dacl : nullptr, nullptr)
                     : GetLastError();
    }
    if (status == ERROR_SUCCESS) m_applied = false;
    Reported(static_cast<LSTATUS>(status), "putting the DACL back on", m_path);
    return status;
}

namespace {

ACL EmptyAcl() {
    ACL empty{};
    InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
    return empty;
}

// One ACE, not inherited by subkeys: everyone may read the key.
struct ReadOnlyAcl {
    ReadOnlyAcl() {
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = nullptr;
        if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) return;
        InitializeAcl(Acl(), sizeof(bytes), ACL_REVISION);
        AddAccessAllowedAce(Acl(), ACL_REVISION, KEY_READ, everyone);
        FreeSid(everyone);
    }
    ACL* Acl() { return reinterpret_cast<ACL*>(bytes); }
    alignas(DWORD) BYTE bytes[128] = {};
};

}  // namespace

ScopedEmptyDacl::ScopedEmptyDacl(std::string path) : ScopedDacl(std::move(path), [] {
    static ACL empty = EmptyAcl();
    return &empty;
}()) {}

ScopedReadOnlyDacl::ScopedReadOnlyDacl(std::string path) : ScopedDacl(std::move(path), [] {
    static ReadOnlyAcl readOnly;
    return readOnly.Acl();
}()) {}

ScopedVolatileKey::ScopedVolatileKey(std::string path) : m_path(std::move(path)) {
    m_status = RegDeleteTreeA(HKEY_LOCAL_MACHINE, m_path.c_str());
    if (m_status == ERROR_SUCCESS || m_status == ERROR_FILE_NOT_FOUND) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, m_path.c_str());
        Key key;
        m_status = Create(m_path, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, key);
    }
    Reported(m_status, "replacing by a volatile key", m_path);
}

ScopedVolatileKey::~ScopedVolatileKey() { DeleteTree(m_path); }

ScopedValue::ScopedValue(std::string path, std::string name, const std::optional<RawValue>& value)
    : m_path(std::move(path)), m_name(std::move(name)), m_before(ReadRaw(m_path, m_name)) {
    if (value) {
        m_status = WriteRaw(m_path, m_name, value->type, value->bytes);
    } else {
        m_status = m_before ? DeleteValue(m_path, m_name) : ERROR_SUCCESS;
    }
}

ScopedValue::~ScopedValue() {
    if (m_before) {
        WriteRaw(m_path, m_name, m_before->type, m_before->bytes);
    } else if (ReadRaw(m_path, m_name)) {
        DeleteValue(m_path, m_name);
    }
}

ScopedPolicyValue::ScopedPolicyValue(std::string name, const RawValue& value) : m_name(std::move(name)) {
    // The outermost missing key along the path is the one to delete afterwards.
    const std::string path = kPolicyKey;
    for (size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
        const std::string prefix = path.substr(0, end);
        if (!KeyExists(prefix)) {
            m_createdRoot = prefix;
            break;
        }
        if (end == std::string::npos) break;
    }
    if (m_createdRoot.empty()) m_before = ReadRaw(kPolicyKey, m_name);
    m_status = WriteRaw(kPolicyKey, m_name, value.type, value.bytes);
}

ScopedPolicyValue::~ScopedPolicyValue() {
    if (!m_createdRoot.empty()) {
        DeleteTree(m_createdRoot);
    } else if (m_before) {
        WriteRaw(kPolicyKey, m_name, m_before->type, m_before->bytes);
    } else {
        DeleteValue(kPolicyKey, m_name);
    }
}

ScopedPolicyFlag::ScopedPolicyFlag(DWORD deny) : ScopedPolicyValue(kDenyValue, DwordValue(deny)) {}

RawValue DwordValue(DWORD value) { return {REG_DWORD, DwordBytes(value)}; }

RawValue StringValue(const std::string& text) {
    RawValue value{REG_SZ, std::vector<BYTE>(text.begin(), text.end())};
    value.bytes.push_back(0);
    return value;
}

bool PolicyKeyExists() { return KeyExists(kPolicyKey); }

void RemoveLeftoverPolicyKey() {
    if (PolicyKeyExists()) DeleteTree(kPolicyKey);
}

}  // namespace testkit
