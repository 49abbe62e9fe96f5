#include "registry/RegTable.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "common/UserLocale.h"
#include "registry/RegistryApi.h"
#include "ui/toolkit/AnsiText.h"
#include "ui/toolkit/MessageBox.h"

namespace RegTable {
namespace {

const HKEY kLocalMachine = HKEY_LOCAL_MACHINE;

// The text of a byte buffer up to its first zero byte (the whole buffer when it has none).
std::wstring TextUpToZero(const char* data, size_t size) {
    const char* end = std::find(data, data + size, '\0');
    return toolkit::FromAnsi(std::string_view(data, static_cast<size_t>(end - data)));
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
    if (const auto* number = std::get_if<std::int32_t>(&value)) return common::DecimalText(*number);
    if (const auto* text = std::get_if<std::wstring>(&value)) return *text;
    return {};
}

bool SetDwordValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, std::wstring& valueText) {
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = 50;
    attributes.lpSecurityDescriptor = nullptr;
    attributes.bInheritHandle = 0xFFFF;
    char keyClass[] = "4";
    const std::string path = toolkit::ToAnsi(keyPath);
    ScopedKey key;
    DWORD disposition = 0;
    if (Registry().CreateKeyEx(root, path.c_str(), 0, keyClass, 0, kKeyAccess, &attributes, key.Put(),
                               &disposition) != ERROR_SUCCESS)
        return false;
    if (valueText.empty()) valueText = L" ";
    const auto bits = static_cast<std::uint32_t>(common::ToPortNumber(valueText));
    const BYTE data[4] = {static_cast<BYTE>(bits), static_cast<BYTE>(bits >> 8), static_cast<BYTE>(bits >> 16),
                          static_cast<BYTE>(bits >> 24)};
    const std::string name = toolkit::ToAnsi(valueName);
    // A write refused after the key opened is a failure too: the caller must not report success.
    return Registry().SetValueEx(key.Get(), name.c_str(), 0, REG_DWORD, data, sizeof(data)) == ERROR_SUCCESS;
}

std::wstring GetValueText(HKEY root, const std::wstring& keyPath, const std::wstring& valueName) {
    const std::string path = toolkit::ToAnsi(keyPath);
    ScopedKey key;
    if (Registry().OpenKeyEx(root, path.c_str(), 0, kKeyAccess, key.Put()) != ERROR_SUCCESS) return {};
    std::vector<BYTE> buffer(kReadBufferBytes, 0);
    DWORD size = kReadBufferBytes;
    DWORD type = REG_NONE;
    const std::string name = toolkit::ToAnsi(valueName);
    if (Registry().QueryValueEx(key.Get(), name.c_str(), nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS)
        return {};
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return TextUpToZero(reinterpret_cast<const char*>(buffer.data()), buffer.size());
        case REG_DWORD:
            return common::DecimalText(LittleEndianInt32(buffer.data()));
        default:
            return {};
    }
}

long QueryValueVariant(HKEY key, const std::wstring& valueName, TypedValue& out) {
    const std::string name = toolkit::ToAnsi(valueName);
    DWORD type = REG_NONE;
    DWORD size = 0;
    const long status = Registry().QueryValueEx(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    if (type == REG_SZ) return ReadString(key, name, size, out);
    if (type == REG_DWORD) return ReadDword(key, name, size, out);
    return kUnreadType;
}

std::wstring GetRemotePort() {
    TypedValue value;
    long status = 0;
    {
        const std::string path = toolkit::ToAnsi(kRdpTcpKey);
        ScopedKey key;
        // A failed open leaves the handle null, and the query on it then fails: one warning covers both.
        Registry().OpenKeyEx(kLocalMachine, path.c_str(), 0, kKeyAccess, key.Put());
        status = QueryValueVariant(key.Get(), kPortValue, value);
    }
    const std::wstring text = TextForm(value);
    if (status != ERROR_SUCCESS) toolkit::ShowMessage(kPortReadFailed, toolkit::kStyleWarning);
    return text;
}

bool SetRemotePort(std::wstring& portText) {
    const bool first = SetDwordValue(kLocalMachine, kRdpTcpKey, kPortValue, portText);
    const bool second = SetDwordValue(kLocalMachine, kRdpwdTcpKey, kPortValue, portText);
    return first && second;
}

bool IsRemoteEnabled() { return GetValueText(kLocalMachine, kTerminalServerKey, kDenyValue) != L"1"; }

bool SetRemoteEnabled(bool allow) {
    std::wstring text = allow ? L"0" : L"1";
    return SetDwordValue(kLocalMachine, kTerminalServerKey, kDenyValue, text);
}

}  // namespace RegTable
