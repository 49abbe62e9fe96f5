// Message boxes belong to the program's own visible window even while another window is active, and
// both windows stand in the middle of the whole screen, not of the part the taskbar leaves.

#include <gtest/gtest.h>

#include "support/FormProbes.h"
#include "support/RegistryKit.h"
#include "support/Seams.h"
#include "support/SeededTest.h"
#include "ui/toolkit/Events.h"

namespace {

using namespace testkit;

// A window of "another program" that takes the activation away from ours.
class ForeignWindow {
public:
    ForeignWindow()
        : m_hwnd(CreateWindowExW(0, L"STATIC", L"another program", WS_POPUP | WS_VISIBLE | WS_CAPTION, 0, 0, 120, 60,
                                 nullptr, nullptr, nullptr, nullptr)) {}
    ~ForeignWindow() { DestroyWindow(m_hwnd); }
    ForeignWindow(const ForeignWindow&) = delete;
    ForeignWindow& operator=(const ForeignWindow&) = delete;
    void Activate() const { SetActiveWindow(m_hwnd); }
    HWND Hwnd() const { return m_hwnd; }

private:
    HWND m_hwnd;
};

class OwnerAndPlacementTest : public SeededTest {};

TEST_F(OwnerAndPlacementTest, BoxesBelongToTheSplashDuringStartupAndToTheMainWindowAfterIt) {
    ForeignWindow other;
    DeleteValue(kRdpTcp, kPortValue);
    // The first pause of the load body comes before the port is read: another program becomes active.
    bool activated = false;
    ScopedPause pauses([&](DWORD) {
        if (!std::exchange(activated, true)) other.Activate();
    });
    HWND activeAtBox = nullptr;
    MessageBoxScript::Instance().OnShow([&](const ShownBox&) { activeAtBox = GetActiveWindow(); });
    ui::FormStart& splash = ui::FormStart::Instance();
    splash.Show();
    HWND splashHwnd = splash.Hwnd();
    for (ULONGLONG deadline = GetTickCount64() + 10000; splash.IsLoaded() && GetTickCount64() < deadline;) {
        toolkit::DoEvents();
        Sleep(2);
    }
    ASSERT_EQ(MessageBoxScript::Instance().Shown().size(), 1u);
    EXPECT_EQ(activeAtBox, other.Hwnd()) << "the case needs another window active when the box comes";
    EXPECT_EQ(MessageBoxScript::Instance().Shown()[0].owner, splashHwnd);

    ui::FormMain& main = ui::FormMain::Instance();
    other.Activate();
    main.Ctl(ui::Text_NewPort).SetText(L"abc");
    main.Cmd_Change_Click();
    ASSERT_EQ(MessageBoxScript::Instance().Shown().size(), 2u);
    EXPECT_EQ(MessageBoxScript::Instance().Shown()[1].owner, main.Hwnd());
}

TEST_F(OwnerAndPlacementTest, BothWindowsAreCentredOnTheWholeScreenNotOnWhatTheTaskbarLeaves) {
    // A 1024 x 768 screen with a 40-pixel taskbar along the bottom, and one along the left.
    MONITORINFO bottomBar{sizeof(MONITORINFO), {0, 0, 1024, 768}, {0, 0, 1024, 728}, MONITORINFOF_PRIMARY};
    MONITORINFO leftBar{sizeof(MONITORINFO), {-1024, 0, 0, 768}, {-964, 0, 0, 768}, 0};
    const POINT below = toolkit::CentredPosition(bottomBar, {416, 257});
    EXPECT_EQ(below.x, 304);
    EXPECT_EQ(below.y, 255) << "centred on the work area it would stand at 235";
    const POINT right = toolkit::CentredPosition(leftBar, {400, 250});
    EXPECT_EQ(right.x, -712);
    EXPECT_EQ(right.y, 259);

    // And the windows themselves, on this machine's screen.
    MONITORINFO monitor{sizeof(monitor)};
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor));
    auto expectCentred = [&](HWND hwnd) {
        RECT window{};
        GetWindowRect(hwnd, &window);
        EXPECT_NEAR((window.left + window.right) / 2, (monitor.rcMonitor.left + monitor.rcMonitor.right) / 2, 1);
        EXPECT_NEAR((window.top + window.bottom) / 2, (monitor.rcMonitor.top + monitor.rcMonitor.bottom) / 2, 1);
    };
    expectCentred(ui::FormStart::Instance().Handle());
    ui::FormStart::Release();  // before its timer could run the start-up sequence
    expectCentred(ui::FormMain::Instance().Handle());
}

}  // namespace
