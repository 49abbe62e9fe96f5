#include "revert/RevertRecord.h"

#include "base/Handles.h"
#include "revert/TaskXml.h"

namespace revert {
namespace {

constexpr const wchar_t* kFrom = L"From";
constexpr const wchar_t* kTo = L"To";
constexpr const wchar_t* kSeconds = L"RevertAfterSeconds";
constexpr const wchar_t* kApply = L"Apply";
constexpr const wchar_t* kArmedAt = L"ArmedAt";
constexpr const wchar_t* kWatchProcessId = L"WatchProcessId";
constexpr const wchar_t* kWatchStartedAt = L"WatchStartedAt";
constexpr const wchar_t* kEffectiveAt = L"EffectiveAt";
constexpr const wchar_t* kReverting = L"Reverting";

LONG SetQword(HKEY key, const wchar_t* name, ULONGLONG value) {
    return RegSetValueExW(key, name, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

std::optional<ULONGLONG> GetQword(HKEY key, const wchar_t* name) {
    ULONGLONG value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(key, nullptr, name, RRF_RT_REG_QWORD, nullptr, &value, &size) != ERROR_SUCCESS) return std::nullopt;
    return value;
}

LONG SetDword(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LONG Write(const RevertRecord& record) {
    base::UniqueRegistryKey key;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                  nullptr, key.Put(), nullptr);
    const PendingRevert& plan = record.plan;
    if (status == ERROR_SUCCESS) status = SetDword(key.Get(), kFrom, plan.from);
    if (status == ERROR_SUCCESS) status = SetDword(key.Get(), kTo, plan.to);
    if (status == ERROR_SUCCESS) status = SetDword(key.Get(), kSeconds, plan.seconds);
    if (status == ERROR_SUCCESS) status = SetDword(key.Get(), kApply, plan.apply ? 1 : 0);
    if (status == ERROR_SUCCESS) {
        const auto bytes = static_cast<DWORD>((record.armedAt.size() + 1) * sizeof(wchar_t));
        status = RegSetValueExW(key.Get(), kArmedAt, 0, REG_SZ, reinterpret_cast<const BYTE*>(record.armedAt.c_str()),
                                bytes);
    }
    if (status == ERROR_SUCCESS && record.watchProcessId) status = SetDword(key.Get(), kWatchProcessId, *record.watchProcessId);
    if (status == ERROR_SUCCESS && record.watchStartedAt) status = SetQword(key.Get(), kWatchStartedAt, *record.watchStartedAt);
    if (status == ERROR_SUCCESS && record.effectiveAt) status = SetQword(key.Get(), kEffectiveAt, *record.effectiveAt);
    if (status == ERROR_SUCCESS && record.reverting) status = SetDword(key.Get(), kReverting, 1);
    return status;
}

LONG GetDword(HKEY key, const wchar_t* name, DWORD& value) {
    DWORD size = sizeof value;
    const LONG status = RegGetValueW(key, nullptr, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return status == ERROR_UNSUPPORTED_TYPE || status == ERROR_FILE_NOT_FOUND ? ERROR_INVALID_DATA : status;
}

LONG Read(RevertRecord& record) {
    base::UniqueRegistryKey key;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, KEY_QUERY_VALUE, key.Put());
    if (status != ERROR_SUCCESS) return status;
    DWORD from = 0, to = 0, seconds = 0, apply = 0;
    for (auto [name, value] : {std::pair{kFrom, &from}, {kTo, &to}, {kSeconds, &seconds}, {kApply, &apply}}) {
        status = GetDword(key.Get(), name, *value);
        if (status != ERROR_SUCCESS) return status;
    }
    if (from > 65535 || to > 65535) return ERROR_INVALID_DATA;
    record.plan = {static_cast<std::uint16_t>(from), static_cast<std::uint16_t>(to), seconds, apply != 0};
    wchar_t armedAt[64] = {};
    DWORD size = sizeof armedAt;
    if (RegGetValueW(key.Get(), nullptr, kArmedAt, RRF_RT_REG_SZ, nullptr, armedAt, &size) == ERROR_SUCCESS)
        record.armedAt = armedAt;
    DWORD pid = 0;
    if (GetDword(key.Get(), kWatchProcessId, pid) == ERROR_SUCCESS) record.watchProcessId = pid;
    record.watchStartedAt = GetQword(key.Get(), kWatchStartedAt);
    record.effectiveAt = GetQword(key.Get(), kEffectiveAt);
    DWORD reverting = 0;
    record.reverting = GetDword(key.Get(), kReverting, reverting) == ERROR_SUCCESS && reverting != 0;
    return ERROR_SUCCESS;
}

LONG Delete() {
    const LONG status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kRecordKey);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace

RecordStore RealRecordStore() { return RecordStore{&Write, &Read, &Delete}; }

RecordStore& RecordStoreCalls() {
    static RecordStore calls = RealRecordStore();
    return calls;
}

std::wstring UtcText(ULONGLONG filetime) {
    FILETIME time{static_cast<DWORD>(filetime), static_cast<DWORD>(filetime >> 32)};
    SYSTEMTIME t = {};
    FileTimeToSystemTime(&time, &t);
    return DateTimeText(t) + L"Z";
}

std::wstring UtcNowText() {
    SYSTEMTIME t = {};
    GetSystemTime(&t);
    return DateTimeText(t) + L"Z";
}

}  // namespace revert
