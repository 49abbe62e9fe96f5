#pragma once

namespace common {

// The program's title: every message box's caption, the start of the main window's caption, and the
// name under which the program's firewall rules and console help present it.
inline constexpr const wchar_t* kProgramTitle = L"Korvane远程端口修改软件";

}  // namespace common
