// Entry point of rdpport.com, the console program for scripts and fleets (see Console.h).

#include <windows.h>

#include <string>
#include <vector>

#include "console/Console.h"
#include "console/Reports.h"

int wmain(int argc, wchar_t** argv) {
    // Only System32 may supply DLLs that are loaded from here on.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    console::StandardSink sink;
    // Nothing is thrown on purpose; what could throw (running out of memory, above all) must end as a
    // failure (1), never as an answer a script would act on, and may have stopped between two writes.
    try {
        std::vector<std::wstring> args;
        for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
        return console::Run(args, sink);
    } catch (...) {
        sink.Err(L"错误：程序内部出错，命令未能完成，可能只写入了一部分；请用 rdpport.com status 查看。\r\n");
        return console::kExitFailed;
    }
}
