// rdpport.com nla on / nla off in-process against Wine's real registry (calls recorded), with the
// guard's answers scripted: what is written where and when, refusals, and what the text says.

#include <gtest/gtest.h>

#include "console/Output.h"
#include "support/ConsoleKit.h"
#include "support/SeededTest.h"

namespace {

using namespace testkit;

class ConsoleNlaTest : public SeededTest {
protected:
    void SetUp() override {
        SeededTest::SetUp();
        if (ReadRaw(kRdpTcp, kNlaValue)) DeleteValue(kRdpTcp, kNlaValue);
    }
    static std::optional<DWORD> Nla() { return ReadDword(kRdpTcp, kNlaValue); }
    static bool Contains(const std::wstring& text, const std::wstring& part) {
        return text.find(part) != std::wstring::npos;
    }

private:
    RemoteDesktopSnapshot m_before;  // puts the NLA value back as the case found it
};

TEST_F(ConsoleNlaTest, OnWritesOneRegDwordAtRdpTcpAfterAskingTheGuard) {
    WriteString(kRdpTcp, kNlaValue, "1");  // a text is not the REG_DWORD asked for
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    const ConsoleRun run = RunConsole({L"nla", L"on", L"--json"});
    EXPECT_EQ(run.exitCode, 0);
    const auto json = run.Json();
    ASSERT_TRUE(json) << console::Utf8(run.out);
    EXPECT_TRUE((*json)["changed"].boolean);
    EXPECT_TRUE((*json)["previousRequired"].IsNull());
    EXPECT_EQ(Nla(), 1u);

    ASSERT_EQ(recorder.Of("Set").size(), 1u);
    const RegCall set = recorder.Of("Set")[0];
    EXPECT_EQ(set.path, kNlaValue);
    EXPECT_EQ(set.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(set.data, (std::vector<BYTE>{1, 0, 0, 0}));
    ASSERT_EQ(recorder.Of("Create").size(), 1u);
    EXPECT_EQ(recorder.Of("Create").at(0).path, kRdpTcp);
    for (const RegCall& open : recorder.Of("Open"))
        EXPECT_EQ(open.access, static_cast<REGSAM>(KEY_QUERY_VALUE)) << "reading needs no more: " << open.path;

    const std::vector<GuardCall> asked = guard.Of("CheckNlaChange");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].require, true);
    for (size_t i = 0; i < asked[0].registryCallsBefore; ++i)
        EXPECT_NE(recorder.calls[i].function, "Set") << "a write came before the guard's check";
    EXPECT_EQ(recorder.OpenedKeys(), recorder.ClosedKeys());
}

TEST_F(ConsoleNlaTest, APolicyHazardRefusesWhatIfWritesNothingAndForceGoesAhead) {
    WriteDword(kRdpTcp, kNlaValue, 1);
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    guard.nlaHazards = {{guard::HazardKind::PolicyOverridesNla}};
    const std::wstring warning =
        L"警告：组策略对网络级别身份验证（NLA）的设置与此相反，且优先于本机设置，此处的修改不会生效。\r\n";

    ConsoleRun run = RunConsole({L"nla", L"off"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, L"");
    EXPECT_EQ(run.err, warning + L"已拒绝：发现上述风险，未作任何修改。确认无误后可加 --force 重新执行。\r\n");
    ASSERT_EQ(guard.Of("CheckNlaChange").size(), 1u);
    EXPECT_EQ(guard.Of("CheckNlaChange")[0].require, false);

    run = RunConsole({L"nla", L"off", L"--force", L"--what-if"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, L"（--what-if：未写入任何内容）\r\n将把本机设置改为不要求网络级别身份验证（NLA）。\r\n"
                       L"注意：不要求 NLA 时，任何能连到此端口的人无需先通过身份验证，就能看到 Windows 登录界面。\r\n");
    EXPECT_EQ(WritesIn(recorder), 0u);
    EXPECT_EQ(Nla(), 1u);

    run = RunConsole({L"nla", L"off", L"--force"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, warning + L"已按 --force 忽略上述风险。\r\n");
    EXPECT_TRUE(Contains(run.out, L"本机设置已改为不要求网络级别身份验证（NLA）。\r\n"));
    EXPECT_EQ(Nla(), 0u);

    // Nothing left to write: the hazard is a warning.
    run = RunConsole({L"nla", L"off"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.out, L"本机设置已经不要求网络级别身份验证（NLA），无需修改。")) << console::Utf8(run.out);
    EXPECT_TRUE(Contains(run.err, L"警告："));
}

TEST_F(ConsoleNlaTest, AFailedWriteExitsOneAndOnSaysNothingOfTheSignInScreen) {
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    recorder.fail = [](const RegCall& call) -> LONG { return call.function == "Set" ? ERROR_ACCESS_DENIED : 0; };
    ConsoleRun run = RunConsole({L"nla", L"off", L"--json"});
    EXPECT_EQ(run.exitCode, 1);
    const auto json = run.Json();
    ASSERT_TRUE(json);
    EXPECT_EQ((*json)["error"]["code"].number, ERROR_ACCESS_DENIED);
    EXPECT_FALSE((*json)["changed"].boolean);
    EXPECT_FALSE(Nla());

    recorder.fail = nullptr;
    run = RunConsole({L"nla", L"on"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, L"本机设置已改为要求网络级别身份验证（NLA）。\r\n");
    EXPECT_EQ(run.err, L"");
}

}  // namespace
