// The port change command ("确定修改"): confirmation, writes to both port keys, refused inputs, the
// repeated-text no-op, Enter in the new-port box and a write the registry refuses.

#include <gtest/gtest.h>

#include "driver/ProgramCase.h"
#include "driver/WindowFinder.h"
#include "support/ProgramTexts.h"
#include "support/RegistryKit.h"

namespace {

using namespace e2e;
using namespace testkit;

class E2EChange : public ProgramCase {};

TEST_F(E2EChange, ConfirmedChangeWritesBothKeysAndShowsTheNewPort) {
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(TypeNewPort(L"3390"));
    ASSERT_TRUE(Press(kChangeButton));

    const auto question = NextBox();
    ASSERT_TRUE(question) << "no confirmation";
    EXPECT_TRUE(BoxIs(*question, Main(),
                      L"您确定要将远程连接端口由 3389 修改为 3390 吗？\r\n"
                      L"\r\n"
                      L"修改后，需要重启计算机才能生效。\r\n"
                      L"\r\n"
                      L"请务必注意未禁用3390端口。",
                      kConfirmationBox));
    EXPECT_TRUE(BothPortKeysHold(3389)) << "written before the user answered";
    ASSERT_TRUE(Answer(*question, IDOK));

    const auto done = NextBox();
    ASSERT_TRUE(done) << "no message after the change";
    EXPECT_TRUE(BoxIs(*done, Main(), kPortChanged, kInformationBox));
    EXPECT_TRUE(BothPortKeysHold(3390));
    ASSERT_TRUE(Answer(*done, IDOK));

    EXPECT_TRUE(ShowsText(CurrentPortBox(), L"3390"));
    EXPECT_TRUE(ShowsText(NewPortBox(), L"3390")) << "the typed text must stay in the box";
    EXPECT_TRUE(SettledWithoutBox());
}

TEST_F(E2EChange, EnterInTheNewPortBoxRunsTheChange) {
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(TypeNewPort(L"3390"));
    ASSERT_EQ(FocusInThreadOf(NewPortBox()), NewPortBox());
    PostKey(NewPortBox(), VK_RETURN);

    const auto question = NextBox();
    ASSERT_TRUE(question) << "Enter in the new-port box did nothing";
    EXPECT_TRUE(BoxIs(*question, Main(), ChangeQuestion(L"3389", L"3390"), kConfirmationBox));
    ASSERT_TRUE(Answer(*question, IDOK));
    const auto done = NextBox();
    ASSERT_TRUE(done);
    EXPECT_TRUE(BoxIs(*done, Main(), kPortChanged, kInformationBox));
    EXPECT_TRUE(BothPortKeysHold(3390));
    ASSERT_TRUE(Answer(*done, IDOK));
    EXPECT_TRUE(ShowsText(CurrentPortBox(), L"3390"));
}

TEST_F(E2EChange, RefusedInputsWarnAndWriteNothing) {
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    // Changed behind the program's back: the window shows it only if the command refreshes, which a
    // refused input must not do.
    ASSERT_EQ(WriteDword(kTerminalServer, kDenyValue, 1), ERROR_SUCCESS);

    for (const wchar_t* input : {L"abc", L"1e3", L"65536", L"-1", L"", L"   ", L"99999999999", L"-99999999999"}) {
        SCOPED_TRACE("input \"" + Utf8(input) + "\"");
        ASSERT_TRUE(PutNewPort(input));
        ASSERT_TRUE(Press(kChangeButton));
        const auto warning = NextBox();
        ASSERT_TRUE(warning) << "no warning";
        EXPECT_TRUE(BoxIs(*warning, Main(), kPortRefused, kWarningBox));
        ASSERT_TRUE(Answer(*warning, IDOK));
        EXPECT_TRUE(SettledWithoutBox());
        EXPECT_TRUE(BothPortKeysHold(3389));
    }
    EXPECT_TRUE(ShowsText(CurrentPortBox(), L"3389"));
    EXPECT_TRUE(ShowsText(StatusLabel(), kStatusOn)) << "a refused input refreshed the window";
}

TEST_F(E2EChange, RangeEndsAndSpacedTextReachTheConfirmationAsTrimmedText) {
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    // The ends bring the lockout guard's warning first: port 0, and a port in the dynamic range (Wine
    // reports none, so Windows' default 49152 to 65535). OK goes on to the designed confirmation.
    struct Case {
        const wchar_t* typed;
        const wchar_t* asked;
        std::wstring warning;
    };
    for (const Case& c : {Case{L"0", L"0", kPortZeroWarning}, Case{L"65535", L"65535", DynamicRangeWarning(L"65535")},
                          Case{L"  3390  ", L"3390", L""}}) {
        SCOPED_TRACE("input \"" + Utf8(c.typed) + "\"");
        ASSERT_TRUE(PutNewPort(c.typed));
        ASSERT_TRUE(Press(kChangeButton));
        if (!c.warning.empty()) {
            const auto warning = NextBox();
            ASSERT_TRUE(warning) << "no lockout warning";
            EXPECT_TRUE(BoxIs(*warning, Main(), c.warning + kGuardTail, kLockoutWarningBox));
            ASSERT_TRUE(Answer(*warning, IDOK));
        }
        const auto question = NextBox();
        ASSERT_TRUE(question) << "no confirmation";
        EXPECT_TRUE(BoxIs(*question, Main(), ChangeQuestion(L"3389", c.asked), kConfirmationBox));
        ASSERT_TRUE(Answer(*question, IDCANCEL));
        EXPECT_TRUE(SettledWithoutBox());
    }
    EXPECT_TRUE(BothPortKeysHold(3389));
}

TEST_F(E2EChange, CancelWritesNothingAndTheSameTextIsAskedAgain) {
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(PutNewPort(L"3390"));
    ASSERT_TRUE(Press(kChangeButton));
    const auto question = NextBox();
    ASSERT_TRUE(question);
    EXPECT_TRUE(BoxIs(*question, Main(), ChangeQuestion(L"3389", L"3390"), kConfirmationBox));
    ASSERT_EQ(WriteDword(kTerminalServer, kDenyValue, 1), ERROR_SUCCESS);  // seen only on a refresh
    ASSERT_TRUE(Answer(*question, IDCANCEL));

    EXPECT_TRUE(SettledWithoutBox());
    EXPECT_TRUE(BothPortKeysHold(3389));
    EXPECT_TRUE(ShowsText(StatusLabel(), kStatusOn)) << "a cancelled change refreshed the window";

    ASSERT_TRUE(Press(kChangeButton));
    const auto again = NextBox();
    ASSERT_TRUE(again) << "after a cancel, the same text must be asked about again";
    EXPECT_TRUE(BoxIs(*again, Main(), ChangeQuestion(L"3389", L"3390"), kConfirmationBox));
    ASSERT_TRUE(Answer(*again, IDCANCEL));
    EXPECT_TRUE(BothPortKeysHold(3389));
}

TEST_F(E2EChange, PressingAgainWithTheConfirmedTextDoesNothingAtAll) {
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(ConfirmChange(L"3390"));
    // Changed behind the program's back: a write would overwrite 4444, a refresh would show it.
    ASSERT_EQ(WriteDword(kRdpTcp, kPortValue, 4444), ERROR_SUCCESS);
    ASSERT_EQ(WriteDword(kRdpwdTcp, kPortValue, 4444), ERROR_SUCCESS);

    ASSERT_TRUE(Press(kChangeButton));
    EXPECT_TRUE(SettledWithoutBox());
    EXPECT_TRUE(BothPortKeysHold(4444)) << "the repeated text was written";
    EXPECT_TRUE(ShowsText(CurrentPortBox(), L"3390")) << "the repeated text refreshed the window";

    // The comparison is on the text: the same number spelt differently is asked about, and the
    // confirmation still names the port read at start.
    ASSERT_TRUE(PutNewPort(L"03390"));
    ASSERT_TRUE(Press(kChangeButton));
    const auto question = NextBox();
    ASSERT_TRUE(question) << "03390 is a different text from 3390";
    EXPECT_TRUE(BoxIs(*question, Main(), ChangeQuestion(L"3389", L"03390"), kConfirmationBox));
    ASSERT_TRUE(Answer(*question, IDCANCEL));
    EXPECT_TRUE(BothPortKeysHold(4444));
}

TEST_F(E2EChange, SecondKeyRefusedReportsTheFailureAndShowsTheFirstKey) {
    ASSERT_TRUE(Seed(/*deny=*/0));
    ScopedVolatileKey volatileWds(kWds);  // rdpwd\Tds\tcp can no longer be created below it
    ASSERT_EQ(volatileWds.Status(), ERROR_SUCCESS);
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(PutNewPort(L"3390"));
    ASSERT_TRUE(Press(kChangeButton));
    const auto question = NextBox();
    ASSERT_TRUE(question);
    EXPECT_TRUE(BoxIs(*question, Main(), ChangeQuestion(L"3389", L"3390"), kConfirmationBox));
    ASSERT_TRUE(Answer(*question, IDOK));

    const auto failed = NextBox();
    ASSERT_TRUE(failed) << "no message after the failed write";
    EXPECT_TRUE(BoxIs(*failed, Main(), kRegistryRefused, kWarningBox));
    EXPECT_TRUE(DwordAt(kRdpTcp, kPortValue, 3390)) << "the first key is written before the second fails";
    EXPECT_FALSE(ReadRaw(kRdpwdTcp, kPortValue).has_value());
    ASSERT_TRUE(Answer(*failed, IDOK));
    EXPECT_TRUE(ShowsText(CurrentPortBox(), L"3390")) << "the window shows the first key after the refresh";
    EXPECT_TRUE(SettledWithoutBox());

    // The text is remembered whatever the outcome: the same press does nothing now.
    ASSERT_TRUE(Press(kChangeButton));
    EXPECT_TRUE(SettledWithoutBox());
}

}  // namespace
