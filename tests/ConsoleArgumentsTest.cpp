// rdpport.com's command line: what each line asks for, and every line that is refused (exit 2).

#include <gtest/gtest.h>

#include "console/Arguments.h"
#include "support/ConsoleKit.h"

namespace {

using console::Command;
using console::ParseArguments;
using Args = std::vector<std::wstring>;

std::string Joined(const Args& args) {
    std::string text;
    for (const std::wstring& a : args) text += "[" + console::Utf8(a) + "]";
    return text;
}

TEST(ConsoleArguments, UsableLinesNameTheirCommandOptionsAndPort) {
    struct Case {
        Args args;
        Command command;
        bool json, whatIf, force, openFirewall;
        std::optional<std::int32_t> port;
    };
    const Case cases[] = {
        {{}, Command::OpenWindow, false, false, false, false, {}},
        {{L"status"}, Command::Status, false, false, false, false, {}},
        {{L"STATUS", L"--JSON"}, Command::Status, true, false, false, false, {}},
        {{L"--json", L"status", L"--what-if"}, Command::Status, true, true, false, false, {}},
        {{L"set-port", L"3390"}, Command::SetPort, false, false, false, false, 3390},
        {{L"set-port", L"  3390  "}, Command::SetPort, false, false, false, false, 3390},
        {{L"set-port", L"0"}, Command::SetPort, false, false, false, false, 0},
        {{L"set-port", L"65535", L"--force"}, Command::SetPort, false, false, true, false, 65535},
        {{L"set-port", L"\t 8080\t", L"--open-firewall"}, Command::SetPort, false, false, false, true, 8080},
        {{L"--what-if", L"set-port", L"--json", L"03391"}, Command::SetPort, true, true, false, false, 3391},
        {{L"set-port", L"00000000000000000000065535"}, Command::SetPort, false, false, false, false, 65535},
        {{L"enable", L"--open-firewall", L"--force", L"--what-if"}, Command::Enable, false, true, true, true, {}},
        {{L"Disable", L"--Force"}, Command::Disable, false, false, true, false, {}},
        {{L"help"}, Command::Help, false, false, false, false, {}},
        {{L"--help"}, Command::Help, false, false, false, false, {}},
        {{L"/?"}, Command::Help, false, false, false, false, {}},
        {{L"status", L"-h"}, Command::Help, false, false, false, false, {}},
        {{L"help", L"--force", L"extra"}, Command::Help, false, false, true, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.args));
        const console::Invocation call = ParseArguments(c.args);
        EXPECT_TRUE(call.Usable()) << console::Utf8(call.usageError);
        ASSERT_TRUE(call.command);
        EXPECT_EQ(*call.command, c.command);
        EXPECT_EQ(call.options.json, c.json);
        EXPECT_EQ(call.options.whatIf, c.whatIf);
        EXPECT_EQ(call.options.force, c.force);
        EXPECT_EQ(call.options.openFirewall, c.openFirewall);
        EXPECT_EQ(call.port, c.port);
    }
}

TEST(ConsoleArguments, NlaTakesOnOrOffInAnyCaseAndTheWritingOptions) {
    struct Case {
        Args args;
        bool required, whatIf, force;
    };
    const Case cases[] = {
        {{L"nla", L"on"}, true, false, false},
        {{L"NLA", L"OFF"}, false, false, false},
        {{L"--what-if", L"nla", L"On", L"--json"}, true, true, false},
        {{L"nla", L"off", L"--force"}, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.args));
        const console::Invocation call = ParseArguments(c.args);
        EXPECT_TRUE(call.Usable()) << console::Utf8(call.usageError);
        EXPECT_EQ(call.command, Command::Nla);
        EXPECT_EQ(call.nlaRequired, c.required);
        EXPECT_EQ(call.options.whatIf, c.whatIf);
        EXPECT_EQ(call.options.force, c.force);
        EXPECT_FALSE(call.port);
    }
}

// What every refused port text is told, after the text itself.
std::wstring PortRefusal(const std::wstring& text) {
    return L"端口无效：“" + text +
           L"”。端口须为 0 到 65535 之间的十进制整数，只能由数字 0 到 9 组成（可有前导零，前后可有空格），例如 3390。";
}

TEST(ConsoleArguments, OnlyAsciiDigitsBetweenSpacesAndTabsAreAPort) {
    const wchar_t* const refused[] = {
        // The window's number recognition takes these for 34, 3390, 123, 65535, 0 and 80; a script's
        // typo must not become a port.
        L"33.89", L"3,390", L"1,2,3", L"&HFFFF", L"-0.5", L"80.5",
        // Other number forms and signs.
        L"&O17", L"+3389", L"3389.", L".5", L"0x1F90", L"1e3", L"3389-", L"(3389)", L"-1", L"65535.5",
        // Digits that are not ASCII, and white space other than spaces and tabs around the digits.
        L"３３８９", L"33 89", L"3389\r", L"\n3389", L"\x00a0" L"3389",
        // No digits, or too large.
        L"abc", L"", L"   ", L"\t", L"65536", L"99999999999999999999999",
    };
    for (const wchar_t* text : refused) {
        SCOPED_TRACE(console::Utf8(text));
        const console::Invocation call = ParseArguments({L"set-port", text});
        EXPECT_FALSE(call.Usable());
        EXPECT_FALSE(call.port);
        EXPECT_EQ(call.usageError, PortRefusal(text));
    }
}

TEST(ConsoleArguments, UnusableLinesSayWhyAndNeverCarryAPort) {
    struct Case {
        Args args;
        std::wstring error;
    };
    const Case cases[] = {
        {{L"set-port"}, L"set-port 需要一个端口号，例如：rdpport.com set-port 3390"},
        {{L"set-port", L"3390", L"3391"}, L"多余的参数：3391"},
        {{L"status", L"now"}, L"多余的参数：now"},
        {{L"enable", L"3390"}, L"多余的参数：3390"},
        {{L"bogus"}, L"未知命令：bogus"},
        {{L"3390"}, L"未知命令：3390"},
        {{L"status", L"--bogus"}, L"未知选项：--bogus"},
        {{L"--json"}, L"缺少命令。"},
        {{L"status", L"--force"}, L"--force 不能用于 status 命令。"},
        {{L"disable", L"--open-firewall"}, L"--open-firewall 不能用于 disable 命令。"},
        {{L"status", L"--open-firewall"}, L"--open-firewall 不能用于 status 命令。"},
        {{L"nla"}, L"nla 需要 on 或 off，例如：rdpport.com nla on"},
        {{L"nla", L"yes"}, L"nla 只接受 on 或 off，不接受“yes”。"},
        {{L"nla", L"1"}, L"nla 只接受 on 或 off，不接受“1”。"},
        {{L"nla", L"on", L"off"}, L"多余的参数：off"},
        {{L"nla", L"on", L"--open-firewall"}, L"--open-firewall 不能用于 nla 命令。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.args));
        const console::Invocation call = ParseArguments(c.args);
        EXPECT_FALSE(call.Usable());
        EXPECT_EQ(call.usageError, c.error);
        EXPECT_FALSE(call.port);
    }
}

TEST(ConsoleArguments, UnusableLinesExitTwoTouchNothingAndUnderJsonSpeakOnlyJson) {
    testkit::RegistryRecorder recorder;
    testkit::FakeGuard guard(&recorder);
    for (const Args& args : {Args{L"set-port", L"abc"}, Args{L"set-port", L"65536"}, Args{L"set-port", L"1e3"},
                             Args{L"set-port", L""}, Args{L"set-port", L"33.89"}, Args{L"set-port", L"&HFFFF"},
                             Args{L"frobnicate"}}) {
        SCOPED_TRACE(Joined(args));
        const testkit::ConsoleRun text = testkit::RunConsole(args);
        EXPECT_EQ(text.exitCode, 2);
        EXPECT_EQ(text.out, L"");
        EXPECT_NE(text.err.find(L"错误："), std::wstring::npos);
        EXPECT_NE(text.err.find(L"rdpport.com help"), std::wstring::npos);

        Args withJson = args;
        withJson.push_back(L"--json");
        const testkit::ConsoleRun json = testkit::RunConsole(withJson);
        EXPECT_EQ(json.exitCode, 2);
        EXPECT_EQ(json.err, L"") << "nothing on stderr under --json";
        const auto parsed = json.Json();
        ASSERT_TRUE(parsed) << console::Utf8(json.out);
        EXPECT_EQ((*parsed)["exitCode"].number, 2);
        EXPECT_EQ((*parsed)["error"]["text"].text, console::ParseArguments(args).usageError);
        EXPECT_TRUE((*parsed)["error"]["code"].IsNull());
    }
    EXPECT_TRUE(recorder.calls.empty()) << "a refused line reads nothing";
    EXPECT_TRUE(guard.calls.empty());
}

}  // namespace
