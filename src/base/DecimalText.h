#pragma once

#include <cstdint>
#include <string>

namespace base {

// The decimal digits of a number, with a leading "-" when it is negative: how stored numbers and error
// codes are shown. Written out here so the program needs no printf machinery for it.
std::wstring DecimalText(std::int32_t value);
// The same for every value a DWORD, a port or a 64-bit count can hold.
std::wstring DecimalText64(std::int64_t value);
// "0x80004005": how HRESULTs are shown.
std::wstring HexText(std::uint32_t value);

}  // namespace base
