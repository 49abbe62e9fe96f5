// The lockout guard in the real exe: a port that another program listens on, a Group Policy value that
// overrides the local switch, a disabled Remote Desktop service and a switched-off listener each bring
// one warning box before the designed confirmation (Cancel, the default, or closing the box ends the
// command; OK goes on to the designed boxes). A free port and a missing policy bring exactly the
// designed boxes.

#include <gtest/gtest.h>

#include "support/PortListener.h"
#include "driver/ProgramCase.h"
#include "support/ProgramTexts.h"
#include "support/RegistryKit.h"
#include "support/ServiceKit.h"
#include "support/StandInRemoteDesktop.h"

namespace {

using namespace e2e;
using namespace testkit;

std::wstring InUseWarning(const std::wstring& port, const std::wstring& owner) {
    return L"端口 " + port + L" 已被其他程序" + owner + L"占用，重启后远程桌面将无法在此端口监听。" + kGuardTail;
}

class E2EGuard : public ProgramCase {
protected:
    void SetUp() override {
        RemoveLeftoverPolicyKey();
        RepairLeftoverDisabledService();
        RepairLeftoverStandIn();
    }
    void TearDown() override {
        ProgramCase::TearDown();
        EXPECT_FALSE(PolicyKeyExists()) << "a case left the policy key behind";
    }

    // Answers the box that must be next, of the given text and kind.
    testing::AssertionResult Expect(const std::wstring& text, const BoxKind& kind, int answer) {
        const auto box = NextBox();
        if (!box) return testing::AssertionFailure() << "no box; expected " << Utf8(text);
        if (auto is = BoxIs(*box, Main(), text, kind); !is) return is;
        return Answer(*box, answer);
    }
};

TEST_F(E2EGuard, APortAnotherProgramListensOnWarnsFirstCancelChangesNothingOkGoesOnToTheConfirmation) {
    ListeningSocket listener;
    ASSERT_NE(listener.Port(), 0) << "the driver could not listen";
    const std::wstring port = std::to_wstring(listener.Port());
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(PutNewPort(port));
    ASSERT_TRUE(Press(kChangeButton));

    const auto warning = NextBox();
    ASSERT_TRUE(warning) << "no warning for a port that is in use";
    // Wine's listener table names no owner; Windows names the driver.
    const std::wstring named = L"（rdpport_e2e.exe，PID " + std::to_wstring(GetCurrentProcessId()) + L"）";
    const testing::AssertionResult unnamed = BoxIs(*warning, Main(), InUseWarning(port, L""), kLockoutWarningBox);
    EXPECT_TRUE(unnamed || BoxIs(*warning, Main(), InUseWarning(port, named), kLockoutWarningBox)) << unnamed.message();
    ASSERT_EQ(WriteDword(kTerminalServer, kDenyValue, 1), ERROR_SUCCESS);  // shown only if refreshed
    ASSERT_TRUE(Answer(*warning, IDCANCEL));
    EXPECT_TRUE(SettledWithoutBox());
    EXPECT_TRUE(BothPortKeysHold(3389));
    EXPECT_TRUE(ShowsText(StatusLabel(), kStatusOn)) << "a refused warning refreshed the window";

    ASSERT_TRUE(Press(kChangeButton));
    const auto again = NextBox();
    ASSERT_TRUE(again) << "the warning must come again after a cancel";
    EXPECT_EQ(again->text, warning->text);
    ASSERT_TRUE(Answer(*again, IDOK));
    ASSERT_TRUE(Expect(ChangeQuestion(L"3389", port), kConfirmationBox, IDOK));
    ASSERT_TRUE(Expect(kPortChanged, kInformationBox, IDOK));
    EXPECT_TRUE(BothPortKeysHold(listener.Port()));
    EXPECT_TRUE(ShowsText(CurrentPortBox(), port));
    EXPECT_TRUE(SettledWithoutBox());
}

TEST_F(E2EGuard, AFreePortShowsExactlyTheDesignedBoxes) {
    const std::uint16_t free = FreePort();
    ASSERT_NE(free, 0);
    const std::wstring port = std::to_wstring(free);
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(PutNewPort(port));
    ASSERT_TRUE(Press(kChangeButton));
    ASSERT_TRUE(Expect(ChangeQuestion(L"3389", port), kConfirmationBox, IDOK));
    ASSERT_TRUE(Expect(kPortChanged, kInformationBox, IDOK));
    EXPECT_TRUE(SettledWithoutBox());
    EXPECT_TRUE(BothPortKeysHold(free));
}

TEST_F(E2EGuard, APolicyThatRefusesConnectionsWarnsBeforeTurningOn) {
    ScopedPolicyFlag policy(1);
    ASSERT_EQ(policy.Status(), ERROR_SUCCESS);
    ASSERT_TRUE(Seed(/*deny=*/1));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(Press(kOpenButton));
    ASSERT_TRUE(Expect(kPolicyDenies + kGuardTail, kLockoutWarningBox, IDCANCEL));
    EXPECT_TRUE(SettledWithoutBox());
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 1));
    EXPECT_TRUE(OnOffButtonIs(kOpenButton));

    ASSERT_TRUE(Press(kOpenButton));
    ASSERT_TRUE(Expect(kPolicyDenies + kGuardTail, kLockoutWarningBox, IDOK));
    ASSERT_TRUE(Expect(kTurnOnQuestion, kPlainConfirmationBox, IDOK));
    ASSERT_TRUE(Expect(kDone, kInformationBox, IDOK));
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 0));
    EXPECT_TRUE(OnOffButtonIs(kCloseButton));
    EXPECT_TRUE(SettledWithoutBox());
}

TEST_F(E2EGuard, APolicyThatAllowsConnectionsWarnsBeforeTurningOffAndClosingTheWarningRefuses) {
    ScopedPolicyFlag policy(0);
    ASSERT_EQ(policy.Status(), ERROR_SUCCESS);
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(Press(kCloseButton));
    const auto warning = NextBox();
    ASSERT_TRUE(warning) << "no warning before turning off";
    EXPECT_TRUE(BoxIs(*warning, Main(), kPolicyAllows + kGuardTail, kLockoutWarningBox));
    PostMessageW(warning->hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(SettledWithoutBox());
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 0));
    EXPECT_TRUE(OnOffButtonIs(kCloseButton));

    ASSERT_TRUE(Press(kCloseButton));
    ASSERT_TRUE(Expect(kPolicyAllows + kGuardTail, kLockoutWarningBox, IDOK));
    ASSERT_TRUE(Expect(kTurnOffQuestion, kConfirmationBox, IDOK));
    ASSERT_TRUE(Expect(kDone, kInformationBox, IDOK));
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 1));
    EXPECT_TRUE(SettledWithoutBox());
}

TEST_F(E2EGuard, ADisabledServiceWarnsBeforeAPortChangeCancelChangesNothingOkGoesOn) {
    const ScopedServiceStartType disabled(SERVICE_DISABLED);
    ASSERT_EQ(disabled.Status(), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(PutNewPort(L"3390"));
    ASSERT_TRUE(Press(kChangeButton));
    ASSERT_TRUE(Expect(ServiceDisabledWarning(L"3390") + kGuardTail, kLockoutWarningBox, IDCANCEL));
    EXPECT_TRUE(SettledWithoutBox());
    EXPECT_TRUE(BothPortKeysHold(3389));

    ASSERT_TRUE(Press(kChangeButton));
    ASSERT_TRUE(Expect(ServiceDisabledWarning(L"3390") + kGuardTail, kLockoutWarningBox, IDOK));
    ASSERT_TRUE(Expect(ChangeQuestion(L"3389", L"3390"), kConfirmationBox, IDOK));
    ASSERT_TRUE(Expect(kPortChanged, kInformationBox, IDOK));
    EXPECT_TRUE(BothPortKeysHold(3390));
    EXPECT_TRUE(SettledWithoutBox());
}

TEST_F(E2EGuard, AListenerSwitchedOffWarnsBeforeTurningOn) {
    const ScopedValue off(kRdpTcp, kListenerSwitchValue, RawValue{REG_DWORD, {0, 0, 0, 0}});
    ASSERT_EQ(off.Status(), ERROR_SUCCESS);
    ASSERT_TRUE(Seed(/*deny=*/1));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(Press(kOpenButton));
    ASSERT_TRUE(Expect(ListenerDisabledWarning(L"3389") + kGuardTail, kLockoutWarningBox, IDCANCEL));
    EXPECT_TRUE(SettledWithoutBox());
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 1));

    ASSERT_TRUE(Press(kOpenButton));
    ASSERT_TRUE(Expect(ListenerDisabledWarning(L"3389") + kGuardTail, kLockoutWarningBox, IDOK));
    ASSERT_TRUE(Expect(kTurnOnQuestion, kPlainConfirmationBox, IDOK));
    ASSERT_TRUE(Expect(kDone, kInformationBox, IDOK));
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 0));
    EXPECT_TRUE(SettledWithoutBox());
}

TEST_F(E2EGuard, WithoutAPolicyTurningOffAndOnShowsExactlyTheDesignedBoxes) {
    ASSERT_FALSE(PolicyKeyExists());
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(Press(kCloseButton));
    ASSERT_TRUE(Expect(kTurnOffQuestion, kConfirmationBox, IDOK));
    ASSERT_TRUE(Expect(kDone, kInformationBox, IDOK));
    ASSERT_TRUE(OnOffButtonIs(kOpenButton));
    ASSERT_TRUE(Press(kOpenButton));
    ASSERT_TRUE(Expect(kTurnOnQuestion, kPlainConfirmationBox, IDOK));
    ASSERT_TRUE(Expect(kDone, kInformationBox, IDOK));
    EXPECT_TRUE(SettledWithoutBox());
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 0));
}

}  // namespace
