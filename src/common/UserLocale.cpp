#include "common/UserLocale.h"

#include <windows.h>

#include "base/PendingError.h"

namespace common {
namespace {

std::wstring LocaleText(LCTYPE item, const wchar_t* fallback) {
    wchar_t buffer[16] = {};
    const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, item, buffer, 16);
    return length > 1 ? std::wstring(buffer) : std::wstring(fallback);
}

}  // namespace

NumberFormat UserNumberFormat() {
    return NumberFormat{LocaleText(LOCALE_SDECIMAL, L"."), LocaleText(LOCALE_STHOUSAND, L",")};
}

bool IsPlainNumber(const std::wstring& text) {
    base::ClearError();
    return IsPlainNumber(text, UserNumberFormat());
}

std::int32_t ToPortNumber(const std::wstring& text) {
    base::ClearError();
    return ToPortNumber(text, UserNumberFormat());
}

std::optional<std::int64_t> RoundedValue(const std::wstring& text) {
    base::ClearError();
    return RoundedValue(text, UserNumberFormat());
}

}  // namespace common
