// Entry point of rdpport.exe: the splash comes first and drives the start-up sequence.

#include <windows.h>
#include <objbase.h>

#include "ui/start/FormStart.h"
#include "ui/toolkit/Dpi.h"
#include "ui/toolkit/Events.h"
#include "ui/toolkit/Window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Only System32 may supply DLLs that are loaded from here on.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    toolkit::EnablePerMonitorDpiAwareness();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // for the picture decoder and the shell
    toolkit::Window::SetQuitWhenLastClosed(true);
    ui::FormStart::Instance().Show();
    return toolkit::RunMessageLoop();
}
