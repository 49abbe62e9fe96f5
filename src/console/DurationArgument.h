#pragma once
// --revert-after's value: ASCII digits followed by s, m or h (seconds, minutes, hours; bare digits are
// minutes, the unit people say), from 10 seconds to 24 hours. Anything else is refused, never guessed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace console {

// The duration in seconds; nothing when the text is not one, or lies outside 10 s to 24 h.
std::optional<std::uint32_t> DurationArgument(std::wstring_view text);

// Why a text was refused, naming what is accepted (Simplified Chinese).
std::wstring DurationArgumentError(const std::wstring& text);

}  // namespace console
