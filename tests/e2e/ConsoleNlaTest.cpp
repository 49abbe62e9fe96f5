// rdpport.com and Network Level Authentication, end to end: what status reports from the local value
// and Group Policy's, and `nla on` / `nla off` writing the local value (or not) as a script runs them.

#include <gtest/gtest.h>

#include "ConsoleCase.h"
#include "driver/ProgramCase.h"

namespace {

using namespace e2e;
using namespace testkit;

class E2EConsoleNla : public E2EConsoleCase {
protected:
    void SetUp() override {
        E2EConsoleCase::SetUp();
        RemoveValue(kRdpTcp, kNlaValue);
    }
    static void RemoveValue(const char* path, const char* name) {
        if (ReadRaw(path, name)) DeleteValue(path, name);
    }
    static bool Contains(const std::string& text, const std::wstring& part) {
        return text.find(Utf8(part)) != std::string::npos;
    }
};

// Nothing stands for JSON null.
void ExpectBoolOrNull(const JsonValue& value, std::optional<bool> expected) {
    EXPECT_EQ(value.IsNull(), !expected);
    if (expected) {
        EXPECT_EQ(value.boolean, *expected);
    }
}

TEST_F(E2EConsoleNla, StatusReportsTheLocalValueThePolicyAndWhatTakesEffect) {
    struct Case {
        const char* name;
        std::optional<RawValue> local, policy;
        std::optional<bool> required;
        const wchar_t* policyName;  // nullptr: null
        std::optional<bool> effective;
        const wchar_t* textLine;    // the effective line of the text output
    };
    const Case cases[] = {
        {"required", DwordValue(1), {}, true, nullptr, true, L"网络级别身份验证（实际生效）：要求"},
        {"not required", DwordValue(0), {}, false, nullptr, false, L"网络级别身份验证（实际生效）：不要求"},
        {"missing: Windows does not say", {}, {}, {}, nullptr, {}, L"网络级别身份验证（实际生效）：无法确定"},
        {"a text is no REG_DWORD", StringValue("1"), {}, {}, nullptr, {}, L"网络级别身份验证（实际生效）：无法确定"},
        {"policy requires", DwordValue(0), DwordValue(1), false, L"require", true, L"网络级别身份验证（实际生效）：要求"},
        {"policy allows", DwordValue(1), DwordValue(0), true, L"allow", false, L"网络级别身份验证（实际生效）：不要求"},
        {"policy of another value", DwordValue(1), DwordValue(2), true, L"other", {}, L"网络级别身份验证（实际生效）：无法确定"},
        {"policy as text", DwordValue(1), StringValue("1"), true, L"other", {}, L"网络级别身份验证（实际生效）：无法确定"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveValue(kRdpTcp, kNlaValue);
        if (c.local) WriteRaw(kRdpTcp, kNlaValue, c.local->type, c.local->bytes);
        std::optional<ScopedPolicyValue> policy;
        if (c.policy) policy.emplace(kNlaValue, *c.policy);
        const JsonValue json = Json(Run({L"status", L"--json"}, 0));
        ExpectBoolOrNull(json["nlaRequired"], c.required);
        EXPECT_EQ(json["nlaPolicy"].IsNull(), c.policyName == nullptr);
        if (c.policyName) {
            EXPECT_EQ(json["nlaPolicy"].text, c.policyName);
        }
        ExpectBoolOrNull(json["nlaEffective"], c.effective);
        const ConsoleOutcome text = Run({L"status"}, 0);
        EXPECT_TRUE(Contains(text.out, std::wstring(c.textLine) + L"\r\n")) << text.out;
    }
}

TEST_F(E2EConsoleNla, OnAndOffWriteTheLocalDwordOnceAndWhatIfWritesNothing) {
    JsonValue json = Json(Run({L"nla", L"on", L"--json"}, 0));
    EXPECT_EQ(json.Keys(), (std::vector<std::string>{"command", "exitCode", "whatIf", "required", "previousRequired",
                                                     "changed", "unchanged", "hazards", "refused", "forced", "error"}));
    EXPECT_EQ(json["command"].text, L"nla");
    EXPECT_TRUE(json["required"].boolean);
    EXPECT_TRUE(json["previousRequired"].IsNull()) << "the value was missing";
    EXPECT_TRUE(json["changed"].boolean);
    EXPECT_TRUE(DwordAt(kRdpTcp, kNlaValue, 1));

    const auto written = LastWriteTime(kRdpTcp);
    Sleep(50);
    json = Json(Run({L"nla", L"on", L"--json"}, 0));
    EXPECT_TRUE(json["unchanged"].boolean);
    EXPECT_FALSE(json["changed"].boolean);
    EXPECT_TRUE(json["previousRequired"].boolean);
    EXPECT_TRUE(SameTime(LastWriteTime(kRdpTcp), written)) << "nothing is written when it already holds 1";

    json = Json(Run({L"nla", L"off", L"--what-if", L"--json"}, 0));
    EXPECT_TRUE(json["whatIf"].boolean);
    EXPECT_TRUE(json["changed"].boolean);
    EXPECT_TRUE(DwordAt(kRdpTcp, kNlaValue, 1));
    EXPECT_TRUE(SameTime(LastWriteTime(kRdpTcp), written));

    const ConsoleOutcome off = Run({L"nla", L"off"}, 0);
    EXPECT_TRUE(DwordAt(kRdpTcp, kNlaValue, 0));
    EXPECT_TRUE(Contains(off.out, L"本机设置已改为不要求网络级别身份验证（NLA）。")) << off.out;
    EXPECT_TRUE(Contains(off.out, L"登录界面")) << "off names what is exposed: " << off.out;
    const ConsoleOutcome on = Run({L"NLA", L"ON"}, 0);
    EXPECT_TRUE(Contains(on.out, L"本机设置已改为要求网络级别身份验证（NLA）。")) << on.out;
    EXPECT_FALSE(Contains(on.out, L"登录界面")) << on.out;
    EXPECT_TRUE(DwordAt(kRdpTcp, kNlaValue, 1));
}

TEST_F(E2EConsoleNla, APolicyThatDecidesOtherwiseRefusesUnlessForced) {
    WriteDword(kRdpTcp, kNlaValue, 1);
    ScopedPolicyValue policy(kNlaValue, DwordValue(1));
    ASSERT_EQ(policy.Status(), ERROR_SUCCESS);

    const ConsoleOutcome refused = Run({L"nla", L"off"}, 3);
    EXPECT_TRUE(Contains(refused.err, L"组策略")) << refused.err;
    EXPECT_TRUE(Contains(refused.err, L"已拒绝")) << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_TRUE(DwordAt(kRdpTcp, kNlaValue, 1));

    JsonValue json = Json(Run({L"nla", L"off", L"--what-if", L"--json"}, 3));
    ASSERT_EQ(json["hazards"].items.size(), 1u);
    EXPECT_EQ(json["hazards"].items[0]["kind"].text, L"PolicyOverridesNla");
    EXPECT_TRUE(json["hazards"].items[0]["port"].IsNull());
    EXPECT_TRUE(json["refused"].boolean);

    json = Json(Run({L"nla", L"off", L"--force", L"--json"}, 0));
    EXPECT_TRUE(json["forced"].boolean);
    EXPECT_TRUE(json["changed"].boolean);
    EXPECT_TRUE(DwordAt(kRdpTcp, kNlaValue, 0));

    // The policy asks for what is asked: no hazard.
    json = Json(Run({L"nla", L"on", L"--json"}, 0));
    EXPECT_TRUE(json["hazards"].items.empty());
    EXPECT_TRUE(DwordAt(kRdpTcp, kNlaValue, 1));
}

TEST_F(E2EConsoleNla, AnythingButOnOrOffExitsTwoAndWritesNothing) {
    WriteDword(kRdpTcp, kNlaValue, 1);
    const auto written = LastWriteTime(kRdpTcp);
    Sleep(50);
    for (const Args& args : {Args{L"nla"}, Args{L"nla", L"yes"}, Args{L"nla", L"0"}, Args{L"nla", L"on", L"off"},
                             Args{L"nla", L"off", L"--open-firewall"}}) {
        const ConsoleOutcome outcome = Run(args, 2);
        EXPECT_EQ(outcome.out, "");
        EXPECT_TRUE(Contains(outcome.err, L"错误：")) << outcome.err;
    }
    const ConsoleOutcome missing = Run({L"nla", L"--json"}, 2);
    const JsonValue json = Json(missing);
    EXPECT_EQ(json["command"].text, L"nla");
    EXPECT_NE(json["error"]["text"].text.find(L"on"), std::wstring::npos);
    EXPECT_TRUE(DwordAt(kRdpTcp, kNlaValue, 1));
    EXPECT_TRUE(SameTime(LastWriteTime(kRdpTcp), written));
}

}  // namespace
