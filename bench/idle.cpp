// The watch benchmark's baseline: a console program built with the same flags as rdpport.com that
// wakes as often as the watch does (every 3 s) and does nothing else, for the seconds it is given. What
// the watch costs beyond it is the watch's own looking.

#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    const unsigned long seconds = argc > 1 ? std::wcstoul(argv[1], nullptr, 10) : 60;
    const ULONGLONG end = GetTickCount64() + seconds * 1000ULL;
    while (GetTickCount64() < end) Sleep(3000);
    return 0;
}
