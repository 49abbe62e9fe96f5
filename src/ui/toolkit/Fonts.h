#pragma once
// Fonts at a given DPI: the system's message font as the default, and named fonts from the layout.

#include <windows.h>

#include "base/Handles.h"
#include "ui/toolkit/Layout.h"

namespace toolkit {

base::UniqueHfont CreateDefaultFont(UINT dpi);

// Creates the named face; where it is not installed, the same size and weight in a face that the
// system offers for the requested character set (the Chinese SimSun aliases first), so that the text
// never falls back to a face without the needed glyphs.
base::UniqueHfont CreateFontFromSpec(const FontSpec& spec, UINT dpi);

bool FontFaceInstalled(const wchar_t* face, BYTE charset);

}  // namespace toolkit
