#pragma once
// Controls described as data: one row per control, places and sizes in twips, as the layout tables of
// the windows read. Left/Top are relative to the container (the window's client area or a frame).

#include <windows.h>

namespace toolkit {

struct RectTw {
    int left;
    int top;
    int width;
    int height;
    friend constexpr bool operator==(const RectTw&, const RectTw&) = default;
};

enum class ControlKind { Frame, Label, TextBox, Button, Image, Bar };

enum ControlFlag : unsigned {
    kNoFlags = 0,
    kReadOnly = 1u << 0,       // text box: selectable and copyable, not editable
    kCentered = 1u << 1,       // text box: centred text
    kDefaultButton = 1u << 2,  // button: Enter runs it while no other button has the focus
    kTransparent = 1u << 3,    // label: no background of its own
};

struct FontSpec {
    const wchar_t* face;
    int centiPoints;  // 2175 = 21.75 points
    bool bold;
    BYTE charset;
};

inline constexpr COLORREF kDefaultColor = CLR_INVALID;
inline constexpr int kNoTabStop = -1;
inline constexpr int kInWindow = 0;  // container id of controls placed directly on the window

struct ControlSpec {
    int id;
    ControlKind kind;
    int container;
    const wchar_t* text;
    RectTw rectTw;
    int tabIndex;
    unsigned flags = kNoFlags;
    COLORREF foreColor = kDefaultColor;
    COLORREF backColor = kDefaultColor;
    const FontSpec* font = nullptr;  // null: the toolkit's default font
    const wchar_t* tooltip = nullptr;
    int pictureResource = 0;  // RCDATA id of the picture held at design, 0 for none
};

}  // namespace toolkit
