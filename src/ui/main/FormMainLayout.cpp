#include "ui/main/FormMainLayout.h"

#include "base/PendingError.h"
#include "resource.h"
#include "ui/main/FormMain.h"
#include "ui/main/MakerAddress.h"
#include "ui/toolkit/Dpi.h"

namespace ui {
namespace {

using toolkit::ControlKind;
using toolkit::kInWindow;
using toolkit::kNoTabStop;

constexpr toolkit::FontSpec kPortFont{.face = L"宋体", .centiPoints = 2175, .bold = true, .charset = GB2312_CHARSET};

}  // namespace

// Places are {Left, Top, Width, Height} in twips, from the top-left corner of the container.
const std::array<toolkit::ControlSpec, 20> kMainLayout = {{
    {.id = FrameStatus, .kind = ControlKind::Frame, .container = kInWindow, .text = L"远程连接状态",
     .rectTw = {240, 120, 5655, 975}, .tabIndex = 2},
    {.id = FrameCurr, .kind = ControlKind::Frame, .container = kInWindow, .text = L"端口设置",
     .rectTw = {240, 1200, 5655, 2055}, .tabIndex = 0},
    {.id = Label2, .kind = ControlKind::Label, .container = kInWindow, .text = kMakerAddress,
     .rectTw = {3750, 3260, 3015, 255}, .tabIndex = 15, .foreColor = kBlue},
    {.id = Image_NG, .kind = ControlKind::Image, .container = kInWindow, .text = L"",
     .rectTw = {6360, 960, 360, 360}, .tabIndex = kNoTabStop, .pictureResource = IDR_LAMP_NG},
    {.id = Image_OK, .kind = ControlKind::Image, .container = kInWindow, .text = L"",
     .rectTw = {6360, 360, 360, 360}, .tabIndex = kNoTabStop, .pictureResource = IDR_LAMP_OK},
    {.id = Cmd_Close, .kind = ControlKind::Button, .container = FrameStatus, .text = L"关闭远程",
     .rectTw = {4200, 240, 975, 375}, .tabIndex = 10},
    {.id = Cmd_Open, .kind = ControlKind::Button, .container = FrameStatus, .text = L"开启远程",
     .rectTw = {5280, 240, 975, 375}, .tabIndex = 5},
    {.id = Image_Status, .kind = ControlKind::Image, .container = FrameStatus, .text = L"",
     .rectTw = {1080, 240, 495, 375}, .tabIndex = kNoTabStop},
    {.id = Label_RemoteStatus, .kind = ControlKind::Label, .container = FrameStatus, .text = L"",
     .rectTw = {1560, 360, 2175, 255}, .tabIndex = 4},
    {.id = Label1, .kind = ControlKind::Label, .container = FrameStatus, .text = L"状态：",
     .rectTw = {360, 360, 615, 255}, .tabIndex = 3},
    {.id = Cmd_Quit, .kind = ControlKind::Button, .container = FrameCurr, .text = L"退出程序",
     .rectTw = {4200, 1440, 975, 375}, .tabIndex = 14},
    {.id = Cmd_ContactUs, .kind = ControlKind::Button, .container = FrameCurr, .text = L"关于软件",
     .rectTw = {3120, 1440, 975, 375}, .tabIndex = 9},
    {.id = Cmd_Change, .kind = ControlKind::Button, .container = FrameCurr, .text = L"确定修改",
     .rectTw = {480, 1440, 975, 375}, .tabIndex = 8, .flags = toolkit::kDefaultButton},
    {.id = Cmd_Revert, .kind = ControlKind::Button, .container = FrameCurr, .text = L"撤销修改",
     .rectTw = {1560, 1440, 975, 375}, .tabIndex = 7},
    {.id = Text_NewPort, .kind = ControlKind::TextBox, .container = FrameCurr, .text = L"",
     .rectTw = {3120, 480, 2055, 615}, .tabIndex = 6, .flags = toolkit::kCentered, .foreColor = kRed,
     .font = &kPortFont, .tooltip = L"请输入新的端口号"},
    {.id = Text_CurrPort, .kind = ControlKind::TextBox, .container = FrameCurr, .text = L"338",
     .rectTw = {480, 480, 2055, 615}, .tabIndex = 1, .flags = toolkit::kCentered | toolkit::kReadOnly,
     .foreColor = kDarkGreen, .font = &kPortFont, .tooltip = L"当前系统端口号"},
    {.id = Label5, .kind = ControlKind::Label, .container = FrameCurr, .text = L"新端口",
     .rectTw = {3120, 240, 855, 255}, .tabIndex = 13},
    {.id = Label4, .kind = ControlKind::Label, .container = FrameCurr, .text = L"当前端口",
     .rectTw = {480, 240, 975, 255}, .tabIndex = 12},
    {.id = Label3, .kind = ControlKind::Label, .container = FrameCurr, .text = L"<-->",
     .rectTw = {2640, 720, 375, 255}, .tabIndex = 11},
    {.id = Label_Pending, .kind = ControlKind::Label, .container = kInWindow, .text = L"",
     .rectTw = {240, 3540, 5655, 480}, .tabIndex = 16, .foreColor = kRed},
}};

// The window is held at one size, at its DPI.
void FormMain::Form_Resize() {
    const base::ErrorClearedAtEnd clearAtEnd;
    if (!Hwnd()) return;
    const UINT dpi = m_controls.Dpi();
    // Refused while minimised: the pending error is cleared at the end, so no message appears.
    const int height = kMainHeightTw + (Ctl(Label_Pending).Visible() ? kPendingLineHeightTw : 0);
    SetOuterSize(toolkit::TwipsToPixels(kMainWidthTw, dpi), toolkit::TwipsToPixels(height, dpi));
}

}  // namespace ui
