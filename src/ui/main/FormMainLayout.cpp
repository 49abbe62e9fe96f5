#include "ui/main/FormMainLayout.h"

#include "resource.h"
#include "ui/main/MakerAddress.h"

namespace ui {
namespace {

using toolkit::ControlKind;
using toolkit::kInWindow;
using toolkit::kNoTabStop;

constexpr toolkit::FontSpec kPortFont{L"宋体", 2175, true, GB2312_CHARSET};

}  // namespace

// id, kind, container, caption or text, {Left, Top, Width, Height}, tab index, settings.
const std::array<toolkit::ControlSpec, 19> kMainLayout = {{
    {FrameStatus, ControlKind::Frame, kInWindow, L"远程连接状态", {240, 120, 5655, 975}, 2},
    {FrameCurr, ControlKind::Frame, kInWindow, L"端口设置", {240, 1200, 5655, 2055}, 0},
    {Label2, ControlKind::Label, kInWindow, kMakerAddress, {3750, 3260, 3015, 255}, 15, toolkit::kNoFlags, kBlue},
    {Image_NG, ControlKind::Image, kInWindow, L"", {6360, 960, 360, 360}, kNoTabStop, toolkit::kNoFlags,
     toolkit::kDefaultColor, toolkit::kDefaultColor, nullptr, nullptr, IDR_LAMP_NG},
    {Image_OK, ControlKind::Image, kInWindow, L"", {6360, 360, 360, 360}, kNoTabStop, toolkit::kNoFlags,
     toolkit::kDefaultColor, toolkit::kDefaultColor, nullptr, nullptr, IDR_LAMP_OK},
    {Cmd_Close, ControlKind::Button, FrameStatus, L"关闭远程", {4200, 240, 975, 375}, 10},
    {Cmd_Open, ControlKind::Button, FrameStatus, L"开启远程", {5280, 240, 975, 375}, 5},
    {Image_Status, ControlKind::Image, FrameStatus, L"", {1080, 240, 495, 375}, kNoTabStop},
    {Label_RemoteStatus, ControlKind::Label, FrameStatus, L"", {1560, 360, 2175, 255}, 4},
    {Label1, ControlKind::Label, FrameStatus, L"状态：", {360, 360, 615, 255}, 3},
    {Cmd_Quit, ControlKind::Button, FrameCurr, L"退出程序", {4200, 1440, 975, 375}, 14},
    {Cmd_ContactUs, ControlKind::Button, FrameCurr, L"关于软件", {3120, 1440, 975, 375}, 9},
    {Cmd_Change, ControlKind::Button, FrameCurr, L"确定修改", {480, 1440, 975, 375}, 8, toolkit::kDefaultButton},
    {Cmd_Revert, ControlKind::Button, FrameCurr, L"撤销修改", {1560, 1440, 975, 375}, 7},
    {Text_NewPort, ControlKind::TextBox, FrameCurr, L"", {3120, 480, 2055, 615}, 6, toolkit::kCentered, kRed,
     toolkit::kDefaultColor, &kPortFont, L"请输入新的端口号"},
    {Text_CurrPort, ControlKind::TextBox, FrameCurr, L"338", {480, 480, 2055, 615}, 1,
     toolkit::kCentered | toolkit::kReadOnly, kDarkGreen, toolkit::kDefaultColor, &kPortFont, L"当前系统端口号"},
    {Label5, ControlKind::Label, FrameCurr, L"新端口", {3120, 240, 855, 255}, 13},
    {Label4, ControlKind::Label, FrameCurr, L"当前端口", {480, 240, 975, 255}, 12},
    {Label3, ControlKind::Label, FrameCurr, L"<-->", {2640, 720, 375, 255}, 11},
}};

}  // namespace ui
