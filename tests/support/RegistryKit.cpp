#include "support/RegistryKit.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace testkit {
namespace {

HKEY CreateKey(const std::string& path, DWORD options = REG_OPTION_NON_VOLATILE) {
    HKEY key = nullptr;
    const LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS,
                                        nullptr, &key, nullptr);
    EXPECT_EQ(status, ERROR_SUCCESS) << "creating " << path;
    return key;
}

}  // namespace

void WriteRaw(const std::string& path, const std::string& name, DWORD type, const std::vector<BYTE>& bytes) {
    HKEY key = CreateKey(path);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void WriteDword(const std::string& path, const std::string& name, DWORD value) {
    WriteRaw(path, name, REG_DWORD,
             {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
              static_cast<BYTE>(value >> 24)});
}

void WriteString(const std::string& path, const std::string& name, const std::string& text, DWORD type) {
    std::vector<BYTE> bytes(text.begin(), text.end());
    bytes.push_back(0);
    WriteRaw(path, name, type, bytes);
}

std::optional<RawValue> ReadRaw(const std::string& path, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    RawValue value{};
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.bytes.resize(size);
        status = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, value.bytes.data(), &size);
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}

std::optional<DWORD> ReadDword(const std::string& path, const std::string& name) {
    auto raw = ReadRaw(path, name);
    if (!raw || raw->type != REG_DWORD || raw->bytes.size() != 4) return std::nullopt;
    return raw->bytes[0] | (raw->bytes[1] << 8) | (raw->bytes[2] << 16) | (static_cast<DWORD>(raw->bytes[3]) << 24);
}

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string KeyClass(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
    char keyClass[64] = {};
    DWORD length = sizeof(keyClass);
    RegQueryInfoKeyA(key, keyClass, &length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return std::string(keyClass, length);
}

void DeleteTree(const std::string& path) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

void SeedRemoteDesktop(DWORD port, DWORD deny) {
    WriteDword(kRdpTcp, "PortNumber", port);
    WriteDword(kRdpwdTcp, "PortNumber", port);
    WriteDword(kTerminalServer, "fDenyTSConnections", deny);
}

ScopedEmptyDacl::ScopedEmptyDacl(const std::string& path) : m_path(path) {
    HKEY key = CreateKey(path);
    DWORD size = 0;
    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    m_original.resize(size);
    if (size && RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, m_original.data(), &size) != ERROR_SUCCESS)
        m_original.clear();
    ACL empty{};
    InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
    EXPECT_EQ(SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &empty, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    RegCloseKey(key);
}

ScopedEmptyDacl::~ScopedEmptyDacl() {
    // The owner may always change the DACL, even when the DACL grants nothing.
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) return;
    if (!m_original.empty()) {
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, m_original.data());
    } else {
        SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr);
    }
    RegCloseKey(key);
}

ScopedVolatileKey::ScopedVolatileKey(const std::string& path) : m_path(path) {
    DeleteTree(path);
    RegCloseKey(CreateKey(path, REG_OPTION_VOLATILE));
}

ScopedVolatileKey::~ScopedVolatileKey() { DeleteTree(m_path); }

RegistryRecorder::RegistryRecorder() : m_real(settings::RealRegistryApi()) {
    settings::RegistryApi& api = settings::Registry();
    api.CreateKeyEx = [this](HKEY root, LPCSTR path, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                             LPSECURITY_ATTRIBUTES attributes, PHKEY result, LPDWORD disposition) {
        RegCall call{"Create", nullptr, root, path ? path : "", reserved, keyClass ? keyClass : "", options, access};
        call.hasAttributes = attributes != nullptr;
        if (attributes) call.attributes = *attributes;
        LONG status = fail ? fail(call) : 0;
        if (status == 0)
            status = m_real.CreateKeyEx(root, path, reserved, keyClass, options, access, attributes, result,
                                        disposition);
        call.key = status == 0 ? *result : nullptr;
        call.status = status;
        calls.push_back(call);
        return status;
    };
    api.OpenKeyEx = [this](HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY result) {
        RegCall call{"Open", nullptr, root, path ? path : "", 0, "", options, access};
        LONG status = fail ? fail(call) : 0;
        if (status == 0) status = m_real.OpenKeyEx(root, path, options, access, result);
        call.key = status == 0 ? *result : nullptr;
        call.status = status;
        calls.push_back(call);
        return status;
    };
    api.QueryValueEx = [this](HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
        RegCall call{"Query", key, nullptr, name ? name : ""};
        call.hasData = data != nullptr;
        call.size = size ? *size : 0;
        call.reserved = reserved ? 1 : 0;
        LONG status = fail ? fail(call) : 0;
        if (status == 0) {
            status = m_real.QueryValueEx(key, name, reserved, type, data, size);
            if (alterQuery) alterQuery(call, type, size);
        }
        call.status = status;
        calls.push_back(call);
        return status;
    };
    api.SetValueEx = [this](HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
        RegCall call{"Set", key, nullptr, name ? name : "", reserved};
        call.type = type;
        call.size = size;
        if (data) call.data.assign(data, data + size);
        LONG status = fail ? fail(call) : 0;
        if (status == 0) status = m_real.SetValueEx(key, name, reserved, type, data, size);
        call.status = status;
        calls.push_back(call);
        return status;
    };
    api.CloseKey = [this](HKEY key) {
        RegCall call{"Close", key};
        call.status = m_real.CloseKey(key);
        calls.push_back(call);
        return call.status;
    };
}

RegistryRecorder::~RegistryRecorder() { settings::Registry() = m_real; }

std::vector<RegCall> RegistryRecorder::Of(const std::string& function) const {
    std::vector<RegCall> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                 [&](const RegCall& c) { return c.function == function; });
    return out;
}

int RegistryRecorder::OpenedKeys() const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [](const RegCall& c) {
        return (c.function == "Create" || c.function == "Open") && c.status == 0;
    }));
}

int RegistryRecorder::ClosedKeys() const {
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [](const RegCall& c) { return c.function == "Close"; }));
}

}  // namespace testkit
