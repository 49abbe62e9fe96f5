// The real rdpport.exe with a revert that rdpport.com armed in Wine's Task Scheduler: the window shows
// it in its red line at start-up, refuses to change the port while it waits, and after a session
// notification (Wine sends none: the case posts it, as Windows would after a logon) sees it gone.

#include <gtest/gtest.h>

#include <chrono>

#include "RevertTask.h"
#include "driver/ProgramCase.h"
#include "driver/Wait.h"
#include "support/RegistryKit.h"

namespace {

using namespace e2e;
using namespace std::chrono_literals;

class E2EWindowPendingRevert : public ProgramCase {
protected:
    void SetUp() override { ClearRevert(); }
    void TearDown() override {
        ClearRevert();
        ProgramCase::TearDown();
    }
    // The main window's line that starts "待确认：", once it shows.
    HWND PendingLine() const {
        HWND line = nullptr;
        WaitUntil(
            [&] {
                while ((line = FindWindowExW(Main(), line, L"Static", nullptr)))
                    if (IsWindowVisible(line) && TextIn(line).rfind(L"待确认：", 0) == 0) return true;
                return false;
            },
            kSettleTimeout);
        return line;
    }
};

TEST_F(E2EWindowPendingRevert, TheLineShowsBothCommandsRefuseAndALogonIsNoticed) {
    ASSERT_TRUE(Seed(1));
    // Without --apply the new port takes effect at the next start: the watch waits and counts nothing.
    Armed armed = ArmRunningTheTask({L"set-port", L"3390", L"--revert-after", L"10m", L"--json"});
    ASSERT_EQ(armed.setPort.exitCode, std::optional<DWORD>(0)) << armed.setPort.out;
    ASSERT_TRUE(Launch());
    const HWND line = PendingLine();
    ASSERT_TRUE(line) << "no pending line";
    EXPECT_TRUE(ShowsText(line, L"待确认：端口 3390 生效后 10 分钟内未登录，将改回端口 3389。"));

    for (const wchar_t* button : {kChangeButton, kRevertButton}) {
        ASSERT_TRUE(PutNewPort(L"3391"));
        ASSERT_TRUE(Press(button));
        const auto box = NextBox();
        ASSERT_TRUE(box) << Utf8(button);
        EXPECT_TRUE(BoxIs(*box, Main(), L"自动改回正在等待确认（3390 → 3389）。请先用新端口登录确认，或等它改回。", kWarningBox));
        ASSERT_TRUE(Answer(*box, IDOK));
        EXPECT_TRUE(testkit::BothPortKeysHold(3390));
    }

    // The watch confirms (here confirm does it for the logon Wine cannot make); Windows then tells the
    // window of the logon.
    EXPECT_EQ(RunConsoleProgram({L"confirm"}).exitCode, std::optional<DWORD>(0));
    ASSERT_TRUE(PostMessageW(Main(), WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 1));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(line); }, kSettleTimeout)) << "the line stays";
    EXPECT_EQ(armed.watch->Finish(30s).exitCode, std::optional<DWORD>(0));
}

}  // namespace
