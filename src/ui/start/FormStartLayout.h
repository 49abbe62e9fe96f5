#pragma once
// The splash window: its picture fills the client area, the bar runs along the bottom, and a
// transparent click area lies over the line of the picture that names the maker's page.

#include <array>

#include "ui/toolkit/Layout.h"

namespace ui {

enum StartControl : int {
    PictureProcess = 200,
    Label_Link,
};

inline constexpr int kStartClientWidthTw = 6000;
inline constexpr int kStartClientHeightTw = 3750;
inline constexpr unsigned kTimerStartIntervalMs = 10;
inline constexpr COLORREF kBarOrange = RGB(255, 128, 0);
static_assert(kBarOrange == 0x80FF);

extern const std::array<toolkit::ControlSpec, 2> kStartLayout;

}  // namespace ui
