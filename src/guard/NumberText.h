#pragma once

#include <string>

namespace guard {

// The decimal digits of a port or a process id (base::DecimalText covers signed 32-bit numbers only).
inline std::wstring UnsignedText(unsigned long value) {
    wchar_t digits[24];
    wchar_t* const end = digits + 24;
    wchar_t* p = end;
    do {
        *--p = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    return std::wstring(p, end);
}

}  // namespace guard
