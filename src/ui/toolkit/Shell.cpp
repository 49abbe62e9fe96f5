#include "ui/toolkit/Shell.h"

#include <shellapi.h>

namespace toolkit {

ShellExecuteSeam& ShellExecuteCall() {
    static ShellExecuteSeam seam(&ShellExecuteA);
    return seam;
}

EndProgramSeam& EndProgramCall() {
    static EndProgramSeam seam([](int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); });
    return seam;
}

}  // namespace toolkit
