// Text from outside the program as the console and the guard's warnings show it: control characters and
// the invisible format and direction marks written out, everything else (a backslash too) as it was.

#include <gtest/gtest.h>

#include "base/PrintableText.h"
#include "console/Output.h"
#include "console/RevertTexts.h"
#include "support/ConsoleKit.h"
#include "support/SeededTest.h"

namespace {

using namespace testkit;

TEST(PrintableText, ControlsAndInvisibleMarksAreWrittenOutAndNothingElse) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:\\Windows\\svchost.exe 远程桌面 \\x1b", L"C:\\Windows\\svchost.exe 远程桌面 \\x1b"},
        {std::wstring(L"\x1b[2K\r\n\t\0\x1f\x7f", 10), L"\\x1b[2K\\x0d\\x0a\\x09\\x00\\x1f\\x7f"},
        {L"\x80\x9b\x9f\xa0\xff", L"\\x80\\x9b\\x9f\xa0\xff"},
        {L"\x061c\x200b\x200f\x2028\x202e\x2060\x2066\x2069\x206f\xfeff",
         L"\\u061c\\u200b\\u200f\\u2028\\u202e\\u2060\\u2066\\u2069\\u206f\\ufeff"},
        {L"\x061b\x200a\x2010\x2027\x202f\x205f\x2070\xfefe\xff0c",
         L"\x061b\x200a\x2010\x2027\x202f\x205f\x2070\xfefe\xff0c"},
    };
    for (const auto& [from, shown] : cases) EXPECT_EQ(base::Printable(from), shown) << console::Utf8(shown);
}

class PrintableTextTest : public SeededTest {};

TEST_F(PrintableTextTest, RegistryStringsRuleNamesAndPortOwnersReachTheConsolePrintable) {
    WriteString(kRdpTcp, kPortValue, "\x1b[2K3389");
    FakeGuard guard;
    guard.ownRules = std::vector<guard::firewall::Rule>(1);
    guard.ownRules->back().name = L"\u202eexe.x";
    guard.portHazards = {{guard::HazardKind::PortInUse, 3390, L"\u202egpj.exe", 42, L"S\x07"}};
    guard.opening.failure = guard::OpenFailure::WriteFailed;
    guard.opening.leftBehind = {L"R\x1b[8m"};
    guard.restartPlan = {5, L"D\x9b"};
    const std::pair<std::vector<std::wstring>, std::wstring> cases[] = {
        {{L"status"}, L"：“\\x1b[2K3389”（不是 REG_DWORD"},
        {{L"status"}, L"\r\n  \\u202eexe.x（"},
        {{L"set-port", L"3390"}, L"（\\u202egpj.exe 中的服务 S\\x07，PID 42）"},
        {{L"set-port", L"3390", L"--open-firewall", L"--force"}, L"：“R\\x1b[8m”；"},
        {{L"set-port", L"3390", L"--apply", L"--force"}, L"服务 D\\x9b（"},
    };
    for (const auto& [args, shown] : cases) {
        const ConsoleRun run = RunConsole(args);
        EXPECT_NE((run.out + run.err).find(shown), std::wstring::npos) << console::Utf8(run.out + run.err);
    }
    EXPECT_NE(console::PendingRevertLine({}, L"2026\u2066Z", std::nullopt, false).find(L"（安排于 2026\\u2066Z）"), std::wstring::npos);
}

}  // namespace
