// The start-up sequence in-process: the splash's timer tick loads the main window once while the bar
// grows, shows it and closes the splash; the splash's link and hand cursor.

#include <gtest/gtest.h>

#include <numeric>

#include "base/Handles.h"
#include "common/HandCursor.h"
#include "common/Startup.h"
#include "support/FormProbes.h"
#include "support/RegistryKit.h"
#include "support/RegistryRecorder.h"
#include "support/Seams.h"
#include "support/SeededTest.h"
#include "ui/toolkit/Events.h"

namespace {

using namespace testkit;

class StartupTest : public SeededTest {
protected:
    void SetUp() override {
        SeededTest::SetUp();
        common::HandCursor = nullptr;
    }
    static ui::FormStart& Splash() { return ui::FormStart::Instance(); }
    static ui::FormMain& Main() { return ui::FormMain::Instance(); }

    // Shows the splash and lets the program run until the splash has gone (bounded).
    static void RunStartup() {
        Splash().Show();
        const ULONGLONG deadline = GetTickCount64() + 10000;
        while (Splash().IsLoaded() && GetTickCount64() < deadline) {
            toolkit::DoEvents();
            Sleep(2);
        }
        ASSERT_FALSE(Splash().IsLoaded()) << "the start-up sequence did not finish";
    }
    static int OpensOf(const RegistryRecorder& recorder, const std::string& path) {
        int count = 0;
        for (const RegCall& call : recorder.Of("Open")) count += call.path == path;
        return count;
    }
};

TEST_F(StartupTest, TheTickLoadsTheMainWindowOnceWhileTheBarGrowsThenSwapsTheWindows) {
    std::vector<unsigned> pauses;
    std::vector<int> widthsAtPauses;
    ScopedPause pauseRecorder([&](DWORD ms) {
        pauses.push_back(ms);
        widthsAtPauses.push_back(ui::FormStartProbe::BarWidthTw());
    });
    RegistryRecorder recorder;
    RunStartup();

    EXPECT_EQ(pauses, (std::vector<unsigned>{50, 30, 30, 50, 30, 50, 50, 10}));
    EXPECT_EQ(std::accumulate(pauses.begin(), pauses.end(), 0u), 300u);
    EXPECT_EQ(widthsAtPauses, (std::vector<int>{1800, 1800, 2500, 3500, 3500, 4000, 4500, 5000}));
    EXPECT_EQ(ui::FormStartProbe::BarWidthTw(), 6015);
    EXPECT_TRUE(std::is_sorted(widthsAtPauses.begin(), widthsAtPauses.end())) << "the bar never shrinks";

    EXPECT_EQ(OpensOf(recorder, kRdpTcp), 1) << "the port is read once";
    EXPECT_EQ(OpensOf(recorder, kTerminalServer), 1) << "the deny flag is read once";
    EXPECT_FALSE(common::StartupPending);
    ASSERT_TRUE(Main().IsLoaded());
    EXPECT_TRUE(IsWindowVisible(Main().Hwnd()));
    EXPECT_EQ(Main().Ctl(ui::Cmd_Open).Left(), 4200);
    EXPECT_EQ(Main().Ctl(ui::Text_CurrPort).Text(), L"3389");
    EXPECT_TRUE(MessageBoxScript::Instance().Shown().empty());
}

TEST_F(StartupTest, APortReadFailureWarnsWhileTheSplashIsUpAndStartupFinishes) {
    DeleteValue(kRdpTcp, kPortValue);
    bool splashUp = false;
    bool mainHidden = false;
    MessageBoxScript::Instance().OnShow([&](const ShownBox&) {
        splashUp = Splash().IsLoaded() && IsWindowVisible(Splash().Hwnd());
        mainHidden = !IsWindowVisible(Main().Hwnd());
    });
    RunStartup();
    EXPECT_EQ(MessageBoxScript::Instance().Texts(), std::vector<std::wstring>{L"远程端口获取失败！"});
    EXPECT_TRUE(splashUp);
    EXPECT_TRUE(mainHidden);
    EXPECT_TRUE(IsWindowVisible(Main().Hwnd()));
    EXPECT_EQ(Main().Ctl(ui::Text_CurrPort).Text(), L"");
}

TEST_F(StartupTest, ALinkClickBeforeTheTickLoadsTheMainWindowHiddenWithoutItsOneTimeBody) {
    Splash().Show();
    RegistryRecorder recorder;
    SendMessageW(Splash().Hwnd(), WM_COMMAND, MAKEWPARAM(ui::Label_Link, STN_CLICKED),
                 reinterpret_cast<LPARAM>(Splash().Ctl(ui::Label_Link).Hwnd()));
    ASSERT_TRUE(Main().IsLoaded());
    EXPECT_FALSE(IsWindowVisible(Main().Hwnd()));
    EXPECT_EQ(Main().Ctl(ui::Cmd_Open).Left(), 5280) << "the one-time body waits for the tick";
    EXPECT_TRUE(recorder.calls.empty());
    ASSERT_EQ(EffectLog::Instance().shellCalls.size(), 1u);
    EXPECT_EQ(EffectLog::Instance().shellCalls[0].owner, Main().Hwnd());
    EXPECT_EQ(EffectLog::Instance().shellCalls[0].file, "https://korvane.example/");

    RunStartup();
    EXPECT_EQ(Main().Ctl(ui::Cmd_Open).Left(), 4200);
    EXPECT_EQ(OpensOf(recorder, kRdpTcp), 1);
    EXPECT_TRUE(IsWindowVisible(Main().Hwnd()));
}

TEST_F(StartupTest, TheSplashIsABorderlessCentredPictureWithItsBarAndLink) {
    Splash().Load();
    HWND hwnd = Splash().Hwnd();
    wchar_t caption[32] = {};
    GetWindowTextW(hwnd, caption, 32);
    EXPECT_STREQ(caption, L"启动画面");
    EXPECT_FALSE(GetWindowLongW(hwnd, GWL_STYLE) & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME));
    EXPECT_TRUE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) << "no taskbar button";
    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 250);
    EXPECT_TRUE(Splash().TimerStart().Enabled()) << "the load handler arms the timer";
    EXPECT_EQ(Splash().TimerStart().IntervalMs(), 10u);
    const RECT bar = Splash().Ctl(ui::PictureProcess).RectPx();
    EXPECT_EQ(bar.left, 0);
    EXPECT_EQ(bar.top, 244);
    EXPECT_EQ(bar.right, 7);
    EXPECT_EQ(bar.bottom, 249);
    const RECT link = Splash().Ctl(ui::Label_Link).RectPx();
    EXPECT_EQ(link.left, 160);
    EXPECT_EQ(link.top, 176);
    EXPECT_EQ(link.right, 361);
    EXPECT_EQ(link.bottom, 201);
    EXPECT_EQ(Splash().Ctl(ui::Label_Link).Text(), L"");
}

TEST_F(StartupTest, TheHandIsShownOverTheLinkAndLoadedOnlyOnce) {
    int loads = 0;
    LPCSTR loadedId = nullptr;
    base::ScopedSeam countLoads(common::LoadCursorCall(), [&](HINSTANCE module, LPCSTR id) {
        ++loads;
        loadedId = id;
        return LoadCursorA(module, id);
    });
    Splash().Show();
    HWND link = Splash().Ctl(ui::Label_Link).Hwnd();
    HWND bar = Splash().Ctl(ui::PictureProcess).Hwnd();
    for (int move = 0; move < 5; ++move)
        EXPECT_TRUE(SendMessageW(Splash().Hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(link),
                                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(loadedId), reinterpret_cast<ULONG_PTR>(IDC_HAND)) << "the system hand";
    EXPECT_NE(common::HandCursor, nullptr);
    EXPECT_EQ(GetCursor(), common::HandCursor);
    SendMessageW(Splash().Hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(bar), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW)) << "the arrow outside the link";
}

// Wine reports no GDI counts for a process, so the windows' fonts, brushes, pictures and device contexts
// are counted by their owners (base/Handles.h); one made outside them is not seen here.
TEST_F(StartupTest, StartingRefreshingRescalingAndClosingTheWindowsGivesBackEveryGdiObject) {
    ScopedPause noPauses([](DWORD) {});
    const long before = base::GdiObjectsHeld();
    for (int round = 0; round < 10; ++round) {
        RunStartup();
        RECT suggested{};
        GetWindowRect(Main().Hwnd(), &suggested);
        for (const WORD step : {0, 1, 2, 3}) {  // the flag flips, the DPI goes to 144 and back, twice
            WriteDword(kTerminalServer, kDenyValue, step % 2);
            ui::FormMainProbe::RefreshAll();
            const WORD dpi = step % 2 ? 96 : 144;
            SendMessageW(Main().Hwnd(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi),
                         reinterpret_cast<LPARAM>(&suggested));
            RedrawWindow(Main().Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        }
        ASSERT_GT(base::GdiObjectsHeld(), before) << "the main window's objects are counted";
        ResetWindows();
        EXPECT_EQ(base::GdiObjectsHeld(), before) << "objects left after round " << round;
    }
}

}  // namespace
