// Entry point of rdpport.com, the console program for scripts and fleets (see Console.h).

#include <windows.h>

#include <string>
#include <vector>

#include "console/Console.h"

int wmain(int argc, wchar_t** argv) {
    // Only System32 may supply DLLs that are loaded from here on.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    console::StandardSink sink;
    return console::Run(args, sink);
}
