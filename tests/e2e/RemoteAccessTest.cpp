// Remote access on ("开启远程") and off ("关闭远程"): the questions, the deny flag, the window's state
// afterwards, and a registry that refuses the key.

#include <gtest/gtest.h>

#include "driver/ProgramCase.h"
#include "support/ProgramTexts.h"
#include "support/RegistryKit.h"

namespace {

using namespace e2e;
using namespace testkit;

constexpr int kCloseTheBox = 0;  // WM_CLOSE instead of a button: closing the box without a choice

class E2ERemoteAccess : public ProgramCase {
protected:
    void ExpectRefusalChangesNothing(DWORD deny, const wchar_t* button, int refusal) {
        ASSERT_TRUE(Seed(deny));
        ASSERT_TRUE(Launch());
        ASSERT_TRUE(Press(button));
        const auto question = NextBox();
        ASSERT_TRUE(question) << "no question";
        // Changed behind the program's back: shown only if the command refreshes.
        ASSERT_EQ(WriteDword(kRdpTcp, kPortValue, 4444), ERROR_SUCCESS);
        if (refusal == kCloseTheBox) {
            PostMessageW(question->hwnd, WM_CLOSE, 0, 0);
        } else {
            ASSERT_TRUE(Answer(*question, refusal));
        }
        EXPECT_TRUE(SettledWithoutBox());
        EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, deny));
        EXPECT_TRUE(ShowsText(CurrentPortBox(), L"3389")) << "a refused question refreshed the window";
        EXPECT_TRUE(OnOffButtonIs(button));
    }
};

TEST_F(E2ERemoteAccess, TurningOnAsksPlainlyClearsTheFlagAndOffersOff) {
    ASSERT_TRUE(Seed(/*deny=*/1));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(ShowsText(StatusLabel(), kStatusOff));
    ASSERT_TRUE(OnOffButtonIs(kOpenButton));

    ASSERT_TRUE(Press(kOpenButton));
    const auto question = NextBox();
    ASSERT_TRUE(question) << "no question";
    EXPECT_TRUE(BoxIs(*question, Main(), kTurnOnQuestion, kPlainConfirmationBox));
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 1)) << "written before the user answered";
    ASSERT_TRUE(Answer(*question, IDOK));

    const auto done = NextBox();
    ASSERT_TRUE(done) << "no message after turning on";
    EXPECT_TRUE(BoxIs(*done, Main(), kDone, kInformationBox));
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 0));
    ASSERT_TRUE(Answer(*done, IDOK));

    EXPECT_TRUE(ShowsText(StatusLabel(), kStatusOn));
    EXPECT_TRUE(OnOffButtonIs(kCloseButton));
    EXPECT_TRUE(SettledWithoutBox());
}

TEST_F(E2ERemoteAccess, TurningOffWarnsSetsTheFlagAndOffersOn) {
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(ShowsText(StatusLabel(), kStatusOn));
    ASSERT_TRUE(OnOffButtonIs(kCloseButton));

    ASSERT_TRUE(Press(kCloseButton));
    const auto question = NextBox();
    ASSERT_TRUE(question) << "no question";
    EXPECT_TRUE(BoxIs(*question, Main(), kTurnOffQuestion, kConfirmationBox));
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 0)) << "written before the user answered";
    ASSERT_TRUE(Answer(*question, IDOK));

    const auto done = NextBox();
    ASSERT_TRUE(done) << "no message after turning off";
    EXPECT_TRUE(BoxIs(*done, Main(), kDone, kInformationBox));
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 1));
    ASSERT_TRUE(Answer(*done, IDOK));

    EXPECT_TRUE(ShowsText(StatusLabel(), kStatusOff));
    EXPECT_TRUE(OnOffButtonIs(kOpenButton));
    EXPECT_TRUE(SettledWithoutBox());
}

TEST_F(E2ERemoteAccess, CancellingTheOffQuestionChangesNothing) {
    ExpectRefusalChangesNothing(/*deny=*/0, kCloseButton, IDCANCEL);
}

TEST_F(E2ERemoteAccess, ClosingTheOnQuestionChangesNothing) {
    ExpectRefusalChangesNothing(/*deny=*/1, kOpenButton, kCloseTheBox);
}

TEST_F(E2ERemoteAccess, AccessDeniedReportsAnUnknownFailureAndKeepsTheWindowState) {
    ASSERT_TRUE(Seed(/*deny=*/1));
    ScopedEmptyDacl denied(kTerminalServer);
    ASSERT_EQ(denied.Status(), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(Launch());
    // The flag cannot be read, and an unreadable flag counts as allowed.
    EXPECT_TRUE(ShowsText(StatusLabel(), kStatusOn));
    EXPECT_TRUE(ShowsText(CurrentPortBox(), L"3389"));
    ASSERT_TRUE(OnOffButtonIs(kCloseButton));

    ASSERT_TRUE(Press(kCloseButton));
    const auto question = NextBox();
    ASSERT_TRUE(question) << "no question";
    EXPECT_TRUE(BoxIs(*question, Main(), kTurnOffQuestion, kConfirmationBox));
    ASSERT_TRUE(Answer(*question, IDOK));

    const auto failed = NextBox();
    ASSERT_TRUE(failed) << "no message after the refused write";
    EXPECT_TRUE(BoxIs(*failed, Main(), kUnknownFailure, kWarningBox));
    ASSERT_TRUE(Answer(*failed, IDOK));

    EXPECT_TRUE(SettledWithoutBox());
    EXPECT_TRUE(ShowsText(StatusLabel(), kStatusOn));
    EXPECT_TRUE(OnOffButtonIs(kCloseButton));
    EXPECT_TRUE(ShowsText(CurrentPortBox(), L"3389"));

    ASSERT_EQ(denied.Restore(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 1));
}

}  // namespace
