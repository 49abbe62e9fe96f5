#pragma once
// The main window's controls, places in twips, captions, colours, fonts and tab order.

#include <array>

#include "ui/toolkit/Layout.h"

namespace ui {

enum MainControl : int {
    FrameStatus = 100,
    FrameCurr,
    Label2,
    Image_NG,
    Image_OK,
    Cmd_Close,
    Cmd_Open,
    Image_Status,
    Label_RemoteStatus,
    Label1,
    Cmd_Quit,
    Cmd_ContactUs,
    Cmd_Change,
    Cmd_Revert,
    Text_NewPort,
    Text_CurrPort,
    Label5,
    Label4,
    Label3,
    Label_Pending,  // a pending revert, in red; shown, and the window taller, only while one waits
};

// The outer size the window is held at, frame and caption included.
inline constexpr int kMainWidthTw = 6240;
inline constexpr int kMainHeightTw = 3855;
// What the window grows by while the pending revert's line shows below the link.
inline constexpr int kPendingLineHeightTw = 540;

inline constexpr COLORREF kDarkGreen = RGB(0, 128, 0);
inline constexpr COLORREF kRed = RGB(255, 0, 0);
inline constexpr COLORREF kBlue = RGB(0, 0, 255);
static_assert(kDarkGreen == 0x8000 && kRed == 0xFF && kBlue == 0xFF0000);

extern const std::array<toolkit::ControlSpec, 20> kMainLayout;

}  // namespace ui
