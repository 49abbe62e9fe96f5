// Entry point of rdpport.exe.

#include <windows.h>

#include "ui/toolkit/Dpi.h"
#include "ui/toolkit/Events.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    toolkit::EnablePerMonitorDpiAwareness();
    return 0;
}
