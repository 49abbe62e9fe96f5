#include "settings/SettingsCore.h"

#include <algorithm>
#include <new>
#include <vector>

#include "base/AnsiText.h"
#include "base/DecimalText.h"
#include "settings/RegistryApi.h"

namespace settings {
namespace {

const HKEY kLocalMachine = HKEY_LOCAL_MACHINE;

// The text of a byte buffer up to its first zero byte (the whole buffer when it has none).
std::wstring TextUpToZero(const char* data, size_t size) {
    const char* end = std::find(data, data + size, '\0');
    return base::FromAnsi(std::string_view(data, static_cast<size_t>(end - data)));
}

std::int32_t LittleEndianInt32(const BYTE* bytes) {
    const std::uint32_t bits = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                               (static_cast<std::uint32_t>(bytes[2]) << 16) |
                               (static_cast<std::uint32_t>(bytes[3]) << 24);
    return static_cast<std::int32_t>(bits);
}

long ReadString(HKEY key, const std::string& name, DWORD reportedSize, TypedValue& out) {
    std::vector<char> buffer;
    try {
        buffer.assign(reportedSize, '\0');
    } catch (const std::bad_alloc&) {
        return ERROR_SUCCESS;  // status of the last registry call; the out value stays as it was
    }
    DWORD type = 0;
    DWORD size = reportedSize;
    const long status = Registry().QueryValueEx(key, name.c_str(), nullptr, &type,
                                                reinterpret_cast<LPBYTE>(buffer.data()), &size);
    if (status != ERROR_SUCCESS) {
        out = std::monostate{};
        return status;
    }
    out = TextUpToZero(buffer.data(), std::min<size_t>(size, buffer.size()));
    return ERROR_SUCCESS;
}

long ReadDword(HKEY key, const std::string& name, DWORD reportedSize, TypedValue& out) {
    BYTE bytes[4] = {};
    DWORD type = 0;
    // Never more than the four bytes we have: an oversized value then reads as "more data" (234)
    // instead of overrunning the integer.
    DWORD size = std::min<DWORD>(reportedSize, sizeof(bytes));
    const long status = Registry().QueryValueEx(key, name.c_str(), nullptr, &type, bytes, &size);
    if (status != ERROR_SUCCESS) return status;
    out = LittleEndianInt32(bytes);
    return ERROR_SUCCESS;
}

}  // namespace

std::wstring TextForm(const TypedValue& value) {
    if (const auto* number = std::get_if<std::int32_t>(&value)) return base::DecimalText(*number);
    if (const auto* text = std::get_if<std::wstring>(&value)) return *text;
    return {};
}

DwordWrite WriteDword(HKEY root, std::wstring_view keyPath, std::wstring_view valueName, std::uint32_t bits) {
    SECURITY_ATTRIBUTES attributes{};
    // Deliberate: 50, not sizeof(SECURITY_ATTRIBUTES), and inherit = 0xFFFF are the values the tool has
    // always passed; the registry only looks at the descriptor, which is none.
    attributes.nLength = 50;
    attributes.lpSecurityDescriptor = nullptr;
    attributes.bInheritHandle = 0xFFFF;
    // Deliberate: keys the tool creates have always carried the class "4".
    char keyClass[] = "4";
    const std::string path = base::ToAnsi(keyPath);
    ScopedKey key;
    DWORD disposition = 0;
    const long created = Registry().CreateKeyEx(root, path.c_str(), 0, keyClass, 0, kKeyAccess, &attributes,
                                                key.Put(), &disposition);
    if (created != ERROR_SUCCESS) return {created, ERROR_SUCCESS};
    const BYTE data[4] = {static_cast<BYTE>(bits), static_cast<BYTE>(bits >> 8), static_cast<BYTE>(bits >> 16),
                          static_cast<BYTE>(bits >> 24)};
    const std::string name = base::ToAnsi(valueName);
    return {ERROR_SUCCESS, Registry().SetValueEx(key.Get(), name.c_str(), 0, REG_DWORD, data, sizeof(data))};
}

ValueText ReadValueText(HKEY root, std::wstring_view keyPath, std::wstring_view valueName) {
    const std::string path = base::ToAnsi(keyPath);
    ScopedKey key;
    if (const long opened = Registry().OpenKeyEx(root, path.c_str(), 0, kKeyAccess, key.Put());
        opened != ERROR_SUCCESS)
        return {opened, {}};
    std::vector<BYTE> buffer(kReadBufferBytes, 0);
    DWORD size = kReadBufferBytes;
    DWORD type = REG_NONE;
    const std::string name = base::ToAnsi(valueName);
    if (const long read = Registry().QueryValueEx(key.Get(), name.c_str(), nullptr, &type, buffer.data(), &size);
        read != ERROR_SUCCESS)
        return {read, {}};
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return {ERROR_SUCCESS, TextUpToZero(reinterpret_cast<const char*>(buffer.data()), buffer.size())};
        case REG_DWORD:
            return {ERROR_SUCCESS, base::DecimalText(LittleEndianInt32(buffer.data()))};
        default:
            return {kUnreadType, {}};
    }
}

long QueryValue(HKEY key, std::wstring_view valueName, TypedValue& out) {
    const std::string name = base::ToAnsi(valueName);
    DWORD type = REG_NONE;
    DWORD size = 0;
    const long status = Registry().QueryValueEx(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    if (type == REG_SZ) return ReadString(key, name, size, out);
    if (type == REG_DWORD) return ReadDword(key, name, size, out);
    return kUnreadType;
}

std::wstring_view PathOf(PortKey key) { return key == PortKey::RdpTcp ? kRdpTcpKey : kRdpwdTcpKey; }

std::optional<std::int32_t> TypedReading::Number() const {
    if (!Ok()) return std::nullopt;
    if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
    return std::nullopt;
}

TypedReading ReadTypedValue(std::wstring_view keyPath, std::wstring_view valueName, REGSAM access) {
    TypedReading read;
    const std::string path = base::ToAnsi(keyPath);
    ScopedKey key;
    read.status = Registry().OpenKeyEx(kLocalMachine, path.c_str(), 0, access, key.Put());
    if (read.Ok()) read.status = QueryValue(key.Get(), valueName, read.value);
    return read;
}

PortReading ReadPort(PortKey which) {
    PortReading reading;
    const std::string path = base::ToAnsi(PathOf(which));
    ScopedKey key;
    // A failed open leaves the handle null, and the query on it then fails with its own status.
    Registry().OpenKeyEx(kLocalMachine, path.c_str(), 0, kKeyAccess, key.Put());
    reading.status = QueryValue(key.Get(), kPortValue, reading.value);
    return reading;
}

long WritePortAt(PortKey key, std::int32_t port) {
    return WriteDword(kLocalMachine, PathOf(key), kPortValue, static_cast<std::uint32_t>(port)).Status();
}

DenyReading ReadDenyFlag() {
    ValueText read = ReadValueText(kLocalMachine, kTerminalServerKey, kDenyValue);
    return {read.status, std::move(read.text)};
}

long WriteDenyFlag(bool deny) {
    return WriteDword(kLocalMachine, kTerminalServerKey, kDenyValue, deny ? 1u : 0u).Status();
}

TypedReading ReadNlaFlag() { return ReadTypedValue(kRdpTcpKey, kNlaValue, kReadAccess); }

long WriteNlaFlag(bool require) {
    return WriteDword(kLocalMachine, kRdpTcpKey, kNlaValue, require ? 1u : 0u).Status();
}

std::optional<std::uint32_t> ReadPolicyDenyFlag() { return ReadPolicyDenyFlag(Registry()); }

std::optional<std::uint32_t> ReadPolicyDenyFlag(const RegistryApi& api) {
    return ReadPolicyValue(api, kDenyValue).number;
}

PolicyReading ReadPolicyValue(std::wstring_view valueName) { return ReadPolicyValue(Registry(), valueName); }

PolicyReading ReadPolicyValue(const RegistryApi& api, std::wstring_view valueName) {
    return ReadDwordValue(api, kPolicyKey, valueName);
}

DwordReading ReadDwordValue(const RegistryApi& api, std::wstring_view keyPath, std::wstring_view valueName) {
    DwordReading reading;
    const std::string path = base::ToAnsi(keyPath);
    ScopedKey key{KeyCloser{&api}};
    reading.status = api.OpenKeyEx(kLocalMachine, path.c_str(), 0, kReadAccess, key.Put());
    if (reading.status != ERROR_SUCCESS) {
        key.Release();  // a failed open hands back no key to close
        return reading;
    }
    reading.keyOpened = true;
    const std::string name = base::ToAnsi(valueName);
    DWORD type = REG_NONE;
    BYTE bytes[4] = {};
    DWORD size = sizeof(bytes);
    reading.status = api.QueryValueEx(key.Get(), name.c_str(), nullptr, &type, bytes, &size);
    // More than four bytes: set all the same, and no number.
    if (reading.status == ERROR_MORE_DATA) reading.status = ERROR_SUCCESS;
    if (reading.Set() && type == REG_DWORD && size == sizeof(bytes))
        reading.number = static_cast<std::uint32_t>(LittleEndianInt32(bytes));
    return reading;
}

}  // namespace settings
