#pragma once
// rdpport.com: the command line, the commands, what they print and the exit code.

#include <string>
#include <vector>

#include "console/Output.h"

namespace console {

// Runs the command line (the arguments after the program name) and returns the exit code.
int Run(const std::vector<std::wstring>& args, OutputSink& sink);

}  // namespace console
