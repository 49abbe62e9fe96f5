#pragma once
// What a command says while it waits, before its report: to standard error, for people only (nothing
// under --json, where standard output carries the one JSON object and nothing else is written).

#include <string_view>

#include "console/Output.h"

namespace console {

// Where progress goes from now on; null: nowhere.
void SetProgressSink(OutputSink* sink);
void Progress(std::wstring_view text);

}  // namespace console
