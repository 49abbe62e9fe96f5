#include "base/DecimalText.h"

namespace base {

std::wstring DecimalText(std::int32_t value) {
    // Work on the magnitude as unsigned so that the lowest int32 has one too.
    std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    wchar_t digits[12];
    wchar_t* end = digits + 12;
    wchar_t* p = end;
    do {
        *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = L'-';
    return std::wstring(p, end);
}

}  // namespace base
