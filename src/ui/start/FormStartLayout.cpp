#include "ui/start/FormStartLayout.h"

namespace ui {

// id, kind, container, caption, {Left, Top, Width, Height}, tab index, settings.
const std::array<toolkit::ControlSpec, 2> kStartLayout = {{
    {PictureProcess, toolkit::ControlKind::Bar, toolkit::kInWindow, L"", {0, 3660, 100, 80}, 0, toolkit::kNoFlags,
     toolkit::kDefaultColor, kBarOrange},
    {Label_Link, toolkit::ControlKind::Label, toolkit::kInWindow, L"", {2400, 2640, 3015, 375}, 1,
     toolkit::kTransparent},
}};

}  // namespace ui
