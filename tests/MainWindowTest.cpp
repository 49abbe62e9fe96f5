// The main window in-process: what it shows after the one-time body, its refreshes, its layout at
// 96 and 144 DPI, the fixed size, the about link, quit and keyboard navigation.

#include <gtest/gtest.h>

#include "base/PendingError.h"
#include "support/FormProbes.h"
#include "support/RegistryKit.h"
#include "support/RegistryRecorder.h"
#include "support/Seams.h"
#include "support/SeededTest.h"
#include "ui/toolkit/Events.h"

namespace {

using namespace testkit;
using ui::FormMainProbe;
using Probe = ui::FormMainProbe;

class MainWindowTest : public SeededTest {
protected:
    static RECT ClientRectOf(ui::MainControl id) {
        RECT r{};
        GetWindowRect(Ctl(id).Hwnd(), &r);
        MapWindowPoints(nullptr, Form().Hwnd(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
};

TEST_F(MainWindowTest, StatusRowFollowsTheDenyFlag) {
    struct Case { DWORD deny; const wchar_t* caption; COLORREF color; ui::MainControl lamp, shown, hidden; };
    for (const Case c : {Case{1, L"系统远程状态：已关闭", 0xFF, ui::Image_NG, ui::Cmd_Open, ui::Cmd_Close},
                         Case{0, L"系统远程状态：已开启", 0x8000, ui::Image_OK, ui::Cmd_Close, ui::Cmd_Open}}) {
        SCOPED_TRACE(c.deny);
        StartMain(c.deny);
        EXPECT_EQ(Probe::RemoteEnabled(), c.deny == 0);
        EXPECT_EQ(Ctl(ui::Label_RemoteStatus).Text(), c.caption);
        EXPECT_EQ(Ctl(ui::Label_RemoteStatus).ForeColor(), c.color);
        ASSERT_NE(Ctl(ui::Image_Status).Picture(), nullptr);
        EXPECT_EQ(Ctl(ui::Image_Status).Picture(), Ctl(c.lamp).Picture());
        EXPECT_TRUE(Ctl(c.shown).Visible());
        EXPECT_FALSE(Ctl(c.hidden).Visible());
        Form().Show();  // loaded hidden: only a shown window says whether its button is on screen
        EXPECT_TRUE(IsWindowVisible(Ctl(c.shown).Hwnd()));
        EXPECT_FALSE(GetWindowLongW(Ctl(c.hidden).Hwnd(), GWL_STYLE) & WS_VISIBLE);
        EXPECT_EQ(Ctl(ui::Cmd_Open).Left(), 4200);
        EXPECT_EQ(Ctl(ui::Cmd_Close).Left(), 4200);
        EXPECT_EQ(ClientRectOf(ui::Cmd_Open).left, ClientRectOf(ui::Cmd_Close).left);
    }
}

TEST_F(MainWindowTest, PortBoxShowsTheRegistryAndTheStartPortIsKept) {
    LoadMainAsAtStartup();
    EXPECT_EQ(Ctl(ui::Text_CurrPort).Text(), L"3389");
    EXPECT_EQ(Probe::OriginalPort(), L"3389");
    WriteDword(kRdpTcp, kPortValue, 3390);
    Probe::RefreshAll();
    EXPECT_EQ(Probe::CurrentPort(), L"3390");
    EXPECT_EQ(Ctl(ui::Text_CurrPort).Text(), L"3390");
    EXPECT_EQ(Probe::OriginalPort(), L"3389");
    Probe::RefreshAll();
    EXPECT_EQ(Ctl(ui::Text_CurrPort).Text(), L"3390");
    EXPECT_TRUE(MessageBoxScript::Instance().Shown().empty());
}

TEST_F(MainWindowTest, AFailedPortReadWarnsOnceAndALaterReadFillsTheBox) {
    DeleteValue(kRdpTcp, kPortValue);
    LoadMainAsAtStartup();
    EXPECT_EQ(MessageBoxScript::Instance().Texts(), std::vector<std::wstring>{L"远程端口获取失败！"});
    EXPECT_EQ(Ctl(ui::Text_CurrPort).Text(), L"") << "the design text 338 is replaced";
    EXPECT_EQ(Probe::OriginalPort(), L"");
    WriteDword(kRdpTcp, kPortValue, 3389);
    Probe::RefreshAll();
    EXPECT_EQ(Ctl(ui::Text_CurrPort).Text(), L"3389");
    EXPECT_EQ(Probe::OriginalPort(), L"3389");
    EXPECT_EQ(MessageBoxScript::Instance().Shown().size(), 1u);
}

// Pixel rectangles in the client area, worked out from the window's layout in twips.
struct Expected { ui::MainControl id; RECT at96; RECT at144; };
const Expected kRects[] = {
    // Cmd_Close: frame (240,120) + (4200,240), 975 x 375
    {ui::Cmd_Close, {296, 24, 361, 49}, {444, 36, 542, 74}},
    // Text_NewPort: frame (240,1200) + (3120,480), 2055 x 615
    {ui::Text_NewPort, {224, 112, 361, 153}, {336, 168, 542, 230}},
    // Label2: window (3750,3260), 3015 x 255
    {ui::Label2, {250, 217, 451, 234}, {375, 326, 677, 352}},
    // FrameCurr: window (240,1200), 5655 x 2055
    {ui::FrameCurr, {16, 80, 393, 217}, {24, 120, 590, 326}},
};

void ExpectRect(const RECT& actual, const RECT& expected, int id) {
    EXPECT_EQ(actual.left, expected.left) << id;
    EXPECT_EQ(actual.top, expected.top) << id;
    EXPECT_EQ(actual.right, expected.right) << id;
    EXPECT_EQ(actual.bottom, expected.bottom) << id;
}

TEST_F(MainWindowTest, ControlsStandWhereTheLayoutPutsThemAtAnyDpi) {
    LoadMainAsAtStartup();
    for (const Expected& e : kRects) ExpectRect(ClientRectOf(e.id), e.at96, e.id);
    RECT window{};
    GetWindowRect(Form().Hwnd(), &window);
    EXPECT_EQ(window.right - window.left, 416);
    EXPECT_EQ(window.bottom - window.top, 257);

    RECT suggested = window;
    SendMessageW(Form().Hwnd(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    for (const Expected& e : kRects) ExpectRect(ClientRectOf(e.id), e.at144, e.id);
    GetWindowRect(Form().Hwnd(), &window);
    EXPECT_EQ(window.right - window.left, 624);
    EXPECT_EQ(window.bottom - window.top, 386);
}

TEST_F(MainWindowTest, CaptionLampsAndDesignTextAreAsDesigned) {
    LoadMainAsAtStartup();
    wchar_t caption[128] = {};
    GetWindowTextW(Form().Hwnd(), caption, 128);
    EXPECT_STREQ(caption, L"Korvane远程端口修改软件 - korvane.example");
    EXPECT_EQ(Ctl(ui::Label2).Text(), L"https://korvane.example/");
    EXPECT_FALSE(GetWindowLongW(Form().Hwnd(), GWL_STYLE) & WS_MAXIMIZEBOX);
    RECT client{};
    GetClientRect(Form().Hwnd(), &client);
    for (ui::MainControl lamp : {ui::Image_OK, ui::Image_NG}) {
        EXPECT_GE(ClientRectOf(lamp).left, client.right) << "the lamps are never seen";
        EXPECT_NE(Ctl(lamp).Picture(), nullptr);
    }
    EXPECT_EQ(Ctl(ui::Image_OK).Picture()->SizePx().cx, 24);
    const RECT status = ClientRectOf(ui::Image_Status);
    EXPECT_EQ(status.right - status.left, 24);
    EXPECT_EQ(status.bottom - status.top, 24);
    EXPECT_TRUE(GetWindowLongW(Ctl(ui::Text_CurrPort).Hwnd(), GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(Ctl(ui::Text_CurrPort).ForeColor(), 0x8000u);
    EXPECT_EQ(Ctl(ui::Text_NewPort).ForeColor(), 0xFFu);
}

TEST_F(MainWindowTest, LoadingWithoutTheStartupFlagReadsNothingAndKeepsTheDesign) {
    RegistryRecorder recorder;
    ui::FormMain::Instance().Load();
    EXPECT_TRUE(recorder.calls.empty());
    EXPECT_EQ(Ctl(ui::Cmd_Open).Left(), 5280);
    EXPECT_EQ(Ctl(ui::Text_CurrPort).Text(), L"338");
    EXPECT_EQ(Ctl(ui::Label_RemoteStatus).Text(), L"");
    EXPECT_EQ(Ctl(ui::Image_Status).Picture(), nullptr);
    EXPECT_TRUE(Ctl(ui::Cmd_Open).Visible() && Ctl(ui::Cmd_Close).Visible());
}

TEST_F(MainWindowTest, TheWindowKeepsItsSizeAndMinimisingShowsNoMessage) {
    LoadMainAsAtStartup();
    Form().Show();
    HWND hwnd = Form().Hwnd();
    SetWindowPos(hwnd, nullptr, 0, 0, 700, 500, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    RECT r{};
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(r.right - r.left, 416);
    EXPECT_EQ(r.bottom - r.top, 257);

    ShowWindow(hwnd, SW_MINIMIZE);
    Pump();
    EXPECT_TRUE(IsIconic(hwnd));
    EXPECT_FALSE(base::ErrorPending());
    ShowWindow(hwnd, SW_RESTORE);
    Pump();
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(r.right - r.left, 416);
    EXPECT_EQ(r.bottom - r.top, 257);
    EXPECT_TRUE(MessageBoxScript::Instance().Shown().empty());
}

TEST_F(MainWindowTest, AboutButtonAndLinkOpenTheMakersPage) {
    LoadMainAsAtStartup();
    SendMessageW(Ctl(ui::Cmd_ContactUs).Hwnd(), BM_CLICK, 0, 0);
    SendMessageW(Form().Hwnd(), WM_COMMAND, MAKEWPARAM(ui::Label2, STN_CLICKED),
                 reinterpret_cast<LPARAM>(Ctl(ui::Label2).Hwnd()));
    const auto& calls = EffectLog::Instance().shellCalls;
    ASSERT_EQ(calls.size(), 2u);
    for (const ShellCall& call : calls) {
        EXPECT_EQ(call.owner, Form().Hwnd());
        EXPECT_EQ(call.verb, "open");
        EXPECT_EQ(call.file, "https://korvane.example/");
        EXPECT_FALSE(call.hasParameters);
        EXPECT_FALSE(call.hasDirectory);
        EXPECT_EQ(call.show, 0);
    }
}

TEST_F(MainWindowTest, QuitUnloadsAndEndsWithoutAsking) {
    LoadMainAsAtStartup();
    Form().Show();
    SendMessageW(Ctl(ui::Cmd_Quit).Hwnd(), BM_CLICK, 0, 0);
    EXPECT_FALSE(Form().IsLoaded());
    EXPECT_EQ(EffectLog::Instance().endProgramCalls, std::vector<int>{0});
    EXPECT_TRUE(MessageBoxScript::Instance().Shown().empty());
}

// Presses a key the way the message loop delivers it.
void PressKey(WPARAM key) {
    MSG msg{GetFocus(), WM_KEYDOWN, key, 0};
    toolkit::DispatchOne(msg);
}

TEST_F(MainWindowTest, TabWalksTheTabOrderAndSkipsTheHiddenButton) {
    for (DWORD deny : {1u, 0u}) {
        SCOPED_TRACE(deny);
        StartMain(deny);
        Form().Show();
        Pump();
        ASSERT_EQ(GetFocus(), Ctl(ui::Text_CurrPort).Hwnd()) << "the focus starts in the current-port box";
        std::vector<ui::MainControl> expected = {ui::Text_NewPort, ui::Cmd_Revert, ui::Cmd_Change,
                                                 ui::Cmd_ContactUs, ui::Cmd_Close, ui::Cmd_Quit, ui::Text_CurrPort};
        if (deny == 1) {
            expected.erase(std::find(expected.begin(), expected.end(), ui::Cmd_Close));
            expected.insert(expected.begin(), ui::Cmd_Open);
        }
        for (ui::MainControl next : expected) {
            PressKey(VK_TAB);
            EXPECT_EQ(GetFocus(), Ctl(next).Hwnd()) << next;
        }
    }
}

TEST_F(MainWindowTest, EnterInTheNewPortBoxRunsTheChangeAndOnAButtonRunsThatButton) {
    LoadMainAsAtStartup();
    Form().Show();
    Ctl(ui::Text_NewPort).SetText(L"3390");
    SetFocus(Ctl(ui::Text_NewPort).Hwnd());
    MessageBoxScript::Instance().Answer(IDCANCEL);
    PressKey(VK_RETURN);
    ASSERT_EQ(MessageBoxScript::Instance().Shown().size(), 1u);
    EXPECT_EQ(MessageBoxScript::Instance().Shown()[0].style, 289u);

    SetFocus(Ctl(ui::Cmd_ContactUs).Hwnd());
    PressKey(VK_RETURN);
    EXPECT_EQ(EffectLog::Instance().shellCalls.size(), 1u);
    EXPECT_EQ(MessageBoxScript::Instance().Shown().size(), 1u);
}

}  // namespace
