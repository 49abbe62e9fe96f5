#pragma once

// Checks and converts the port the user types. Both routines are pure: they keep no state,
// never change their input and never throw, so the settings store and the port-change command
// can call them at any point without disturbing the error they may be about to report.

#include <cstdint>
#include <optional>
#include <string>

#include "base/DecimalText.h"

namespace common {

// The separators of the user's locale. The caller reads them from the system; keeping them out
// of this module lets it stay free of platform headers. An empty separator is never matched.
struct NumberFormat {
    std::wstring decimalSeparator = L".";
    std::wstring groupSeparator = L",";
};

// True when the text is a number written without an exponent. Radix forms ("&h...", "&o...")
// count, except those whose digits contain an 'e', since any letter e is refused.
bool IsPlainNumber(const std::wstring& text, const NumberFormat& fmt) noexcept;

// The text as a 32-bit signed integer, rounded half to even; 0 when it is not a plain number
// or its rounded value does not fit. The caller checks whether the value is a usable port.
std::int32_t ToPortNumber(const std::wstring& text, const NumberFormat& fmt) noexcept;

// The rounded value of a plain number with no 32-bit limit (saturated at the int64 range so that
// huge inputs still compare as out of any port range); std::nullopt when IsPlainNumber is false.
std::optional<std::int64_t> RoundedValue(const std::wstring& text, const NumberFormat& fmt) noexcept;

// How stored numbers are shown (the decimal digits, "-" first when negative).
using base::DecimalText;

}  // namespace common
