#pragma once
// Twips to pixels at a window's DPI. Layout tables are in twips: 1440 per inch, 15 per pixel at 96 DPI.

#include <windows.h>

namespace toolkit {

inline constexpr UINT kBaseDpi = 96;
inline constexpr int kTwipsPerInch = 1440;

// Rounds like MulDiv: half away from zero.
constexpr int TwipsToPixels(int twips, UINT dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    const long long half = kTwipsPerInch / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / kTwipsPerInch : -((-scaled + half) / kTwipsPerInch));
}

// The window's DPI where the system reports one per window (Windows 10 1607 and later),
// otherwise the screen's.
UINT WindowDpi(HWND hwnd);

// Opts the process into per-monitor DPI awareness (v2 where it exists, v1 otherwise) when the
// manifest could not, e.g. on systems that ignore its newer elements.
void EnablePerMonitorDpiAwareness();

}  // namespace toolkit
