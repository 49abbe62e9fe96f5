#include "base/DecimalText.h"

namespace base {

std::wstring DecimalText64(std::int64_t value) {
    // Work on the magnitude as unsigned so that the lowest value has one too.
    std::uint64_t magnitude = value < 0 ? 0u - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    wchar_t digits[21];
    wchar_t* end = digits + 21;
    wchar_t* p = end;
    do {
        *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = L'-';
    return std::wstring(p, end);
}

std::wstring DecimalText(std::int32_t value) { return DecimalText64(value); }

std::wstring HexText(std::uint32_t value) {
    std::wstring text = L"0x00000000";
    for (size_t i = text.size(); value != 0; value >>= 4) text[--i] = L"0123456789ABCDEF"[value & 0xF];
    return text;
}

}  // namespace base
