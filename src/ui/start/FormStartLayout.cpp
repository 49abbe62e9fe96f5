#include "ui/start/FormStartLayout.h"

namespace ui {

// Places are {Left, Top, Width, Height} in twips, from the top-left corner of the client area.
const std::array<toolkit::ControlSpec, 2> kStartLayout = {{
    {.id = PictureProcess, .kind = toolkit::ControlKind::Bar, .container = toolkit::kInWindow, .text = L"",
     .rectTw = {0, 3660, 100, 80}, .tabIndex = 0, .backColor = kBarOrange},
    {.id = Label_Link, .kind = toolkit::ControlKind::Label, .container = toolkit::kInWindow, .text = L"",
     .rectTw = {2400, 2640, 3015, 375}, .tabIndex = 1, .flags = toolkit::kTransparent},
}};

}  // namespace ui
