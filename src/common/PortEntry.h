#pragma once
// The port as the user enters it, in the window's new-port box or on the console's command line: the
// same trimming and the same test in both places.

#include <cstdint>
#include <optional>
#include <string>

namespace common {

// The text without its leading and trailing spaces.
std::wstring TrimSpaces(const std::wstring& text);

// The port a trimmed text stands for when it is accepted: a plain number (user's locale) whose value,
// rounded as it will be written, lies in 0 to 65535. That value is what ToPortNumber gives for it.
std::optional<std::int32_t> AcceptedPort(const std::wstring& trimmedText);

}  // namespace common
