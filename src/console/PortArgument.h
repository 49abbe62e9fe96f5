#pragma once
// set-port's operand. Stricter than the window's new-port box on purpose: a script's typo must fail,
// never become a port. The window's number recognition (common::AcceptedPort) reads "33.89" as 34,
// "3,390" as 3390 and "&HFFFF" as 65535; here only decimal digits are a port.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace console {

// The port when the text is ASCII digits 0-9 (leading zeros allowed) standing for 0 to 65535, with
// nothing around them but spaces and tabs; nothing for any other text.
std::optional<std::int32_t> PortArgument(std::wstring_view text);

// Why a text was refused, naming what is accepted (Simplified Chinese).
std::wstring PortArgumentError(const std::wstring& text);

}  // namespace console
