#pragma once
// The hand cursor shown over the splash's link.

#include <windows.h>

#include "base/Seam.h"

namespace common {

// The system hand cursor once loaded (0 until then). System cursors are shared: never freed.
inline HCURSOR HandCursor = nullptr;

using LoadCursorSeam = base::Seam<HCURSOR(HINSTANCE, LPCSTR)>;
LoadCursorSeam& LoadCursorCall();

// Makes the hand the current mouse cursor, loading it at most once per run.
void ShowHandCursor();

}  // namespace common
