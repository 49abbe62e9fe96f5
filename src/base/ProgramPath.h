#pragma once
// The full path of the running program's file.

#include <string>

namespace base {

// Empty when Windows cannot give it. Paths longer than MAX_PATH are read whole.
std::wstring RunningProgramPath();

}  // namespace base
