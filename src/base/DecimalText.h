#pragma once

#include <cstdint>
#include <string>

namespace base {

// The decimal digits of a number, with a leading "-" when it is negative: how stored numbers and error
// codes are shown. Written out here so the program needs no printf machinery for it.
std::wstring DecimalText(std::int32_t value);

}  // namespace base
