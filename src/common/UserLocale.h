#pragma once
// The port text routines with the separators of the user's locale, as the program calls them.

#include <cstdint>
#include <optional>
#include <string>

#include "common/PortText.h"

namespace common {

// Decimal and digit-group separators of the user's locale settings.
NumberFormat UserNumberFormat();

// Like the routines of PortText.h with the user's separators. Each leaves no error pending: one that
// was pending when it was called is cleared, as every routine with its own error handling does.
bool IsPlainNumber(const std::wstring& text);
std::int32_t ToPortNumber(const std::wstring& text);
std::optional<std::int64_t> RoundedValue(const std::wstring& text);

}  // namespace common
