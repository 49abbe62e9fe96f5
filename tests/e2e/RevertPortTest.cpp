// The revert command ("撤销修改"): puts the port read at start back at both keys without asking.

#include <gtest/gtest.h>

#include "driver/ProgramCase.h"
#include "support/ProgramTexts.h"
#include "support/RegistryKit.h"

namespace {

using namespace e2e;
using namespace testkit;

class E2ERevert : public ProgramCase {};

const std::wstring kRestored3389 = L"设置完成！复原端口：3389";

TEST_F(E2ERevert, RevertWritesTheStartPortBackAndKeepsTheLastConfirmedText) {
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(ConfirmChange(L"3390"));
    ASSERT_TRUE(DwordAt(kRdpTcp, kPortValue, 3390));

    ASSERT_TRUE(Press(kRevertButton));
    const auto done = NextBox();
    ASSERT_TRUE(done) << "no message after the revert";
    EXPECT_TRUE(BoxIs(*done, Main(), kRestored3389, kInformationBox));
    EXPECT_TRUE(DwordAt(kRdpTcp, kPortValue, 3389));
    EXPECT_TRUE(DwordAt(kRdpwdTcp, kPortValue, 3389));
    ASSERT_TRUE(Answer(*done, IDOK));
    EXPECT_TRUE(ShowsText(CurrentPortBox(), L"3389"));
    EXPECT_TRUE(ShowsText(NewPortBox(), L"3390")) << "the revert must not touch the new-port box";
    EXPECT_TRUE(SettledWithoutBox());

    // The revert does not forget the last confirmed text: changing to it again does nothing.
    ASSERT_TRUE(Press(kChangeButton));
    EXPECT_TRUE(SettledWithoutBox());
    EXPECT_TRUE(DwordAt(kRdpTcp, kPortValue, 3389));
    EXPECT_TRUE(DwordAt(kRdpwdTcp, kPortValue, 3389));
}

TEST_F(E2ERevert, ARevertThatCannotWriteTheSecondKeyIsReportedAsAFailure) {
    ASSERT_TRUE(Seed(/*deny=*/0, /*port=*/3389));
    ScopedVolatileKey volatileWds(kWds);  // rdpwd\Tds\tcp can no longer be created below it
    ASSERT_EQ(volatileWds.Status(), ERROR_SUCCESS);
    ASSERT_TRUE(Launch());
    ASSERT_EQ(WriteDword(kRdpTcp, kPortValue, 5000), ERROR_SUCCESS);  // so the revert's write shows

    ASSERT_TRUE(Press(kRevertButton));
    const auto done = NextBox();
    ASSERT_TRUE(done) << "no message after the revert";
    // The admin relies on the revert to recover: a restore that failed must not read as done.
    EXPECT_TRUE(BoxIs(*done, Main(), kRegistryRefused, kWarningBox));
    EXPECT_TRUE(DwordAt(kRdpTcp, kPortValue, 3389));
    ASSERT_TRUE(Answer(*done, IDOK));
    EXPECT_TRUE(ShowsText(CurrentPortBox(), L"3389"));
    EXPECT_TRUE(SettledWithoutBox());
}

}  // namespace
