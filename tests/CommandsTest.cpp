// The commands that write: port change and revert, remote access on and off. Message boxes are
// answered from a script and recorded; writes land in Wine's registry or fail through the recorder.

#include <gtest/gtest.h>

#include "base/PendingError.h"
#include "support/FormProbes.h"
#include "support/ProgramTexts.h"
#include "support/RegistryKit.h"
#include "support/RegistryRecorder.h"
#include "support/Seams.h"
#include "support/SeededTest.h"

namespace {

using namespace testkit;
using Probe = ui::FormMainProbe;

class CommandsTest : public SeededTest {
protected:
    void SetUp() override {
        SeededTest::SetUp();
        StartMain();
    }
    static void Change(const std::wstring& typed) {
        Ctl(ui::Text_NewPort).SetText(typed);
        Form().Cmd_Change_Click();
    }
};

// ---- Port change -----------------------------------------------------------------------------

TEST_F(CommandsTest, ChangeRefusesTextsThatAreNotPortsWithOneWarningAndTouchesNothing) {
    for (const wchar_t* typed : {L"", L"   ", L"abc", L"1e3", L"80abc", L"65536", L"-1", L"99999999999",
                                 L"-99999999999", L"&HE0", L"65535.5"}) {
        SCOPED_TRACE(std::string(typed, typed + wcslen(typed)).c_str());
        Script().Reset();
        RegistryRecorder recorder;
        Change(typed);
        ASSERT_EQ(Script().Shown().size(), 1u);
        EXPECT_EQ(Script().Shown()[0].text, kPortRefused);
        EXPECT_EQ(Script().Shown()[0].style, 48u);
        EXPECT_TRUE(recorder.calls.empty()) << "no write and no refresh";
        EXPECT_EQ(Probe::LastAppliedPort(), L"");
    }
}

TEST_F(CommandsTest, ChangeConfirmsTheTrimmedTextAsTypedAndWritesItsRoundedValue) {
    // The range's ends bring the lockout guard's box first (port 0; a port in Windows' default dynamic
    // range, as Wine does not report one), OK going on to the designed boxes.
    struct Case { const wchar_t* typed; std::wstring shown; DWORD written; std::wstring guard; };
    const Case cases[] = {{L"  3390  ", L"3390", 3390, L""},
                          {L"0", L"0", 0, kPortZeroWarning},
                          {L"65535", L"65535", 65535, DynamicRangeWarning(L"65535")},
                          {L"80.5", L"80.5", 80, L""},
                          {L"&H1F90", L"&H1F90", 8080, L""},
                          {L"03391", L"03391", 3391, L""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.shown.begin(), c.shown.end()).c_str());
        Script().Reset();
        Change(c.typed);
        const size_t first = c.guard.empty() ? 0 : 1;
        ASSERT_EQ(Script().Shown().size(), first + 2);
        if (first) {
            EXPECT_EQ(Script().Shown()[0].text, c.guard + kGuardTail);
            EXPECT_EQ(Script().Shown()[0].style, 305u);
        }
        EXPECT_EQ(Script().Shown()[first].text, ChangeQuestion(L"3389", c.shown)) << "always names the port seen at start";
        EXPECT_EQ(Script().Shown()[first].style, 289u);
        EXPECT_EQ(Script().Shown()[first + 1].text, kPortChanged);
        EXPECT_EQ(Script().Shown()[first + 1].style, 64u);
        EXPECT_EQ(Probe::LastAppliedPort(), c.shown);
        EXPECT_EQ(Port1(), c.written);
        EXPECT_EQ(Port2(), c.written);
        EXPECT_EQ(Ctl(ui::Text_CurrPort).Text(), std::to_wstring(c.written)) << "refreshed from the registry";
        EXPECT_EQ(Probe::OriginalPort(), L"3389");
    }
    EXPECT_EQ(Ctl(ui::Text_NewPort).Text(), L"03391") << "the typed text stays";
}

TEST_F(CommandsTest, ConfirmingTheSameTextAgainDoesNothingButAnotherSpellingAsks) {
    Change(L"3390");
    ASSERT_EQ(Script().Shown().size(), 2u);
    Script().Reset();
    RegistryRecorder recorder;
    Change(L"3390");
    EXPECT_TRUE(Script().Shown().empty());
    EXPECT_TRUE(recorder.calls.empty());
    Change(L"03390");
    ASSERT_EQ(Script().Shown().size(), 2u);
    EXPECT_EQ(Script().Shown()[0].text, ChangeQuestion(L"3389", L"03390"));
}

TEST_F(CommandsTest, CancelWritesNothingAndTheSameTextCanBeTriedAgain) {
    Script().Answer(IDCANCEL);
    RegistryRecorder recorder;
    Change(L"3390");
    EXPECT_EQ(Script().Shown().size(), 1u);
    EXPECT_TRUE(recorder.calls.empty());
    EXPECT_EQ(Probe::LastAppliedPort(), L"");
    Script().Answer(IDCANCEL);
    Change(L"3390");
    EXPECT_EQ(Script().Shown().size(), 2u) << "asked again";
    EXPECT_EQ(Port1(), 3389u);
}

TEST_F(CommandsTest, AFailedSecondKeyIsReportedTheFirstShowsAndTheTextIsNotTriedAgain) {
    {
        RegistryRecorder recorder;
        recorder.fail = [](const RegCall& call) -> LONG {
            return call.function == "Create" && call.path == kRdpwdTcp ? ERROR_ACCESS_DENIED : 0;
        };
        Change(L"3390");
    }
    EXPECT_EQ(Script().Texts(), (std::vector<std::wstring>{ChangeQuestion(L"3389", L"3390"), kRegistryRefused}));
    EXPECT_EQ(Script().Shown()[1].style, 48u);
    EXPECT_EQ(Port1(), 3390u);
    EXPECT_EQ(Port2(), 3389u);
    EXPECT_EQ(Ctl(ui::Text_CurrPort).Text(), L"3390") << "the box shows the first key";
    Script().Reset();
    Change(L"3390");
    EXPECT_TRUE(Script().Shown().empty()) << "the text was remembered before the write";
}

TEST_F(CommandsTest, ARefusedValueWriteIsNeverReportedAsSuccess) {
    RegistryRecorder recorder;
    recorder.fail = [](const RegCall& call) -> LONG { return call.function == "Set" ? ERROR_ACCESS_DENIED : 0; };
    Change(L"3390");
    Form().Cmd_Revert_Click();
    Form().Cmd_Open_Click();
    for (const std::wstring& text : Script().Texts()) {
        EXPECT_NE(text, kPortChanged);
        EXPECT_NE(text, kDone);
        EXPECT_EQ(text.find(L"设置完成"), std::wstring::npos);
    }
    EXPECT_EQ(Script().Texts(),
              (std::vector<std::wstring>{ChangeQuestion(L"3389", L"3390"), kRegistryRefused, kRegistryRefused,
                                         kTurnOnQuestion, kUnknownFailure}));
    EXPECT_EQ(Port1(), 3389u);
    EXPECT_EQ(Deny(), 1u);
}

TEST_F(CommandsTest, APendingErrorGivesItsDescriptionAndIsCleared) {
    RegistryRecorder recorder;
    recorder.fail = [](const RegCall& call) -> LONG {
        if (call.function != "Create" || call.path != kRdpwdTcp) return 0;
        base::RaiseError(70, L"拒绝的权限");
        return ERROR_ACCESS_DENIED;
    };
    Change(L"3390");
    ASSERT_EQ(Script().Shown().size(), 2u);
    EXPECT_EQ(Script().Shown()[1].text, L"修改失败，原因：拒绝的权限");
    EXPECT_FALSE(base::ErrorPending());

    recorder.fail = [](const RegCall& call) -> LONG {
        if (call.function != "Create") return 0;
        base::RaiseError(70, L"拒绝的权限");
        return ERROR_ACCESS_DENIED;
    };
    Script().Reset();
    Form().Cmd_Open_Click();
    ASSERT_EQ(Script().Shown().size(), 2u);
    EXPECT_EQ(Script().Shown()[1].text, L"操作失败！错误信息：拒绝的权限");
    EXPECT_EQ(Script().Shown()[1].style, 48u);
    EXPECT_FALSE(base::ErrorPending());
}

// ---- Revert ----------------------------------------------------------------------------------

TEST_F(CommandsTest, RevertWritesThePortSeenAtStartWithoutAskingAndKeepsTheLastChange) {
    Change(L"3390");
    Script().Reset();
    Form().Cmd_Revert_Click();
    ASSERT_EQ(Script().Shown().size(), 1u);
    EXPECT_EQ(Script().Shown()[0].text, L"设置完成！复原端口：3389");
    EXPECT_EQ(Script().Shown()[0].style, 64u);
    EXPECT_EQ(Port1(), 3389u);
    EXPECT_EQ(Port2(), 3389u);
    EXPECT_EQ(Ctl(ui::Text_CurrPort).Text(), L"3389");
    EXPECT_EQ(Probe::LastAppliedPort(), L"3390");
    Script().Reset();
    Change(L"3390");
    EXPECT_TRUE(Script().Shown().empty()) << "the revert leaves the last confirmed text as it was";
}

TEST_F(CommandsTest, RevertDoesNothingWithoutATwoCharacterStartPort) {
    for (const char* value : {"missing", "7"}) {
        SCOPED_TRACE(value);
        ResetWindows();
        ASSERT_EQ(SeedRemoteDesktop(3389, 1), ERROR_SUCCESS);
        if (std::string(value) == "7") {
            WriteDword(kRdpTcp, kPortValue, 7);
        } else {
            DeleteValue(kRdpTcp, kPortValue);
        }
        LoadMainAsAtStartup();
        Script().Reset();
        RegistryRecorder recorder;
        Form().Cmd_Revert_Click();
        EXPECT_TRUE(Script().Shown().empty());
        EXPECT_TRUE(recorder.calls.empty());
    }
}

TEST_F(CommandsTest, AFailedRevertIsReportedAsAFailure) {
    RegistryRecorder recorder;
    recorder.fail = [](const RegCall& call) -> LONG {
        return call.function == "Create" && call.path == kRdpTcp ? ERROR_ACCESS_DENIED : 0;
    };
    WriteDword(kRdpTcp, kPortValue, 4000);
    Form().Cmd_Revert_Click();
    EXPECT_EQ(Script().Texts(), std::vector<std::wstring>{kRegistryRefused});
    EXPECT_EQ(Ctl(ui::Text_CurrPort).Text(), L"4000") << "the refresh shows what the registry holds";
}

// ---- Remote access on and off ------------------------------------------------------------------

TEST_F(CommandsTest, OpenAndCloseAskWriteReportAndRefresh) {
    Form().Cmd_Open_Click();
    ASSERT_EQ(Script().Shown().size(), 2u);
    EXPECT_EQ(Script().Shown()[0].text, kTurnOnQuestion);
    EXPECT_EQ(Script().Shown()[0].style, 1u);
    EXPECT_EQ(Script().Shown()[1].text, kDone);
    EXPECT_EQ(Script().Shown()[1].style, 64u);
    EXPECT_EQ(Deny(), 0u);
    EXPECT_TRUE(Probe::RemoteEnabled());
    EXPECT_EQ(Ctl(ui::Label_RemoteStatus).Text(), L"系统远程状态：已开启");
    EXPECT_TRUE(Ctl(ui::Cmd_Close).Visible());
    EXPECT_FALSE(Ctl(ui::Cmd_Open).Visible());

    Script().Reset();
    Form().Cmd_Close_Click();
    ASSERT_EQ(Script().Shown().size(), 2u);
    EXPECT_EQ(Script().Shown()[0].text,
              kTurnOffQuestion);
    EXPECT_EQ(Script().Shown()[0].style, 289u);
    EXPECT_EQ(Script().Shown()[1].text, kDone);
    EXPECT_EQ(Deny(), 1u);
    EXPECT_EQ(Ctl(ui::Label_RemoteStatus).Text(), L"系统远程状态：已关闭");
    EXPECT_EQ(Ctl(ui::Label_RemoteStatus).ForeColor(), 0xFFu);
    EXPECT_TRUE(Ctl(ui::Cmd_Open).Visible());
}

TEST_F(CommandsTest, GuardsAndCancelLeaveEverythingAlone) {
    RegistryRecorder recorder;
    Form().Cmd_Close_Click();  // connections are refused: closing does not apply
    EXPECT_TRUE(Script().Shown().empty());
    Script().Answer(IDCANCEL);
    Form().Cmd_Open_Click();
    EXPECT_EQ(Script().Shown().size(), 1u);
    EXPECT_TRUE(recorder.calls.empty()) << "no write and no refresh";
    EXPECT_FALSE(Probe::RemoteEnabled());
}

TEST_F(CommandsTest, TheGuardUsesTheStateLastReadNotTheRegistry) {
    WriteDword(kTerminalServer, kDenyValue, 0);  // changed by someone else
    Form().Cmd_Close_Click();
    EXPECT_TRUE(Script().Shown().empty()) << "the window still shows remote access off";
    Form().Cmd_Open_Click();
    EXPECT_EQ(Script().Texts(), (std::vector<std::wstring>{kTurnOnQuestion, kDone}));
    EXPECT_EQ(Deny(), 0u);
}

TEST_F(CommandsTest, WithoutRightsToTheKeyTheCommandSaysUnknownAndTheStateStays) {
    ScopedEmptyDacl locked(kTerminalServer);
    ResetWindows();
    LoadMainAsAtStartup();
    Script().Reset();
    EXPECT_TRUE(Probe::RemoteEnabled()) << "an unreadable flag counts as allowed";
    Form().Cmd_Close_Click();
    ASSERT_EQ(Script().Shown().size(), 2u);
    EXPECT_EQ(Script().Shown()[1].text, kUnknownFailure);
    EXPECT_EQ(Script().Shown()[1].style, 48u);
    EXPECT_EQ(Ctl(ui::Label_RemoteStatus).Text(), L"系统远程状态：已开启");
    EXPECT_TRUE(Ctl(ui::Cmd_Close).Visible());
}

}  // namespace
