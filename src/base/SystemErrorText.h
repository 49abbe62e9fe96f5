#pragma once

#include <string>

namespace base {

// Windows' own description of an error code (FormatMessage, in the user's language), without the line
// break it ends with; "错误 N" when Windows has none.
std::wstring SystemErrorText(unsigned long code);
// The same without its final full stop ("。" or "."), to stand inside a sentence of the program's own.
std::wstring SystemErrorClause(unsigned long code);

}  // namespace base
