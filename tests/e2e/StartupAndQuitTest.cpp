// Start-up (splash first, then the main window with the registry's state) and the quit button.

#include <gtest/gtest.h>

#include "driver/MessageBoxReader.h"
#include "driver/ProgramCase.h"
#include "driver/Wait.h"
#include "driver/WindowFinder.h"

namespace {

using namespace e2e;

class E2EStartup : public ProgramCase {};
class E2EQuit : public ProgramCase {};

TEST_F(E2EStartup, SplashComesFirstThenTheMainWindowOpensWithTheRegistryState) {
    // A port other than the usual one, so that what the window shows can only come from the registry.
    ASSERT_TRUE(Seed(/*deny=*/1, /*port=*/4321));
    ASSERT_TRUE(Launch());

    const SplashSighting& splash = Splash();
    ASSERT_TRUE(splash.seen) << "the splash window was never on screen";
    EXPECT_FALSE(splash.mainWindowVisible) << "the main window was on screen before the splash";
    EXPECT_EQ(Utf8(splash.className), Utf8(kSplashClass));
    EXPECT_EQ(splash.style & WS_CAPTION, 0u) << "the splash has a title bar";
    EXPECT_NE(splash.style & WS_POPUP, 0u);
    EXPECT_NE(splash.exStyle & WS_EX_TOOLWINDOW, 0u) << "the splash would get a taskbar button";
    EXPECT_TRUE(WaitUntil([&] { return FindTopLevel(ProcessId(), kSplashCaption) == nullptr; }, kBoxTimeout))
        << "the splash window was hidden but not destroyed";

    EXPECT_EQ(Utf8(ClassOf(Main())), Utf8(kMainClass));
    EXPECT_NE(StyleOf(Main()) & WS_CAPTION, 0u) << "the main window has no title bar";
    EXPECT_TRUE(ShowsText(CurrentPortBox(), L"4321"));
    EXPECT_TRUE(ShowsText(NewPortBox(), L""));
    EXPECT_TRUE(ShowsText(StatusLabel(), kStatusOff));
    EXPECT_TRUE(OnOffButtonIs(kOpenButton));
    EXPECT_TRUE(SettledWithoutBox());
}

TEST_F(E2EQuit, QuitButtonEndsTheProgramWithExitCodeZeroAndNoQuestion) {
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());

    ASSERT_TRUE(Press(kQuitButton));
    bool boxSeen = false;
    std::optional<DWORD> exitCode;
    WaitUntil(
        [&] {
            boxSeen = boxSeen || !MessageBoxesOf(ProcessId()).empty();
            exitCode = Process().WaitForExit(0ms);
            return exitCode.has_value() || boxSeen;
        },
        10s);
    EXPECT_FALSE(boxSeen) << "quitting showed a message box";
    ASSERT_TRUE(exitCode.has_value()) << "the program was still running after the quit button";
    EXPECT_EQ(*exitCode, 0u);
}

}  // namespace
