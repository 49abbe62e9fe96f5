// rdpport.com when something stands in the way: hazards (exit 3, or --force), --open-firewall (the
// firewall first, and never "done" unless it was), registry failures (exit 1 with Windows' own text),
// and starting the window without arguments.

#include <gtest/gtest.h>

#include "console/OpenWindow.h"
#include "console/Output.h"
#include "support/ConsoleKit.h"
#include "support/SeededTest.h"

namespace {

using namespace testkit;

std::wstring SystemText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer, length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    return text;
}

// Windows' text as a clause inside a sentence of the program's: without its final full stop.
std::wstring Clause(DWORD code) {
    std::wstring text = SystemText(code);
    while (!text.empty() && (text.back() == L'。' || text.back() == L'.')) text.pop_back();
    return text;
}

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

class ConsoleGuardedTest : public SeededTest {};

TEST_F(ConsoleGuardedTest, AHazardRefusesWithExitThreeAndForceGoesAhead) {
    const guard::Hazard inUse{guard::HazardKind::PortInUse, 3390, L"nginx.exe", 4242};
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    guard.portHazards = {inUse};

    ConsoleRun run = RunConsole({L"set-port", L"3390"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, L"");
    EXPECT_EQ(run.err, L"警告：" + guard::Describe(inUse) +
                           L"\r\n已拒绝：发现上述风险，未作任何修改。确认无误后可加 --force 重新执行。\r\n");
    EXPECT_EQ(WritesIn(recorder), 0u);

    run = RunConsole({L"set-port", L"3390", L"--json"});
    EXPECT_EQ(run.exitCode, 3);
    auto json = run.Json();
    ASSERT_TRUE(json);
    EXPECT_TRUE((*json)["refused"].boolean);
    EXPECT_FALSE((*json)["changed"].boolean);
    const JsonValue& hazard = (*json)["hazards"].items.at(0);
    EXPECT_EQ(hazard["kind"].text, L"PortInUse");
    EXPECT_EQ(hazard["port"].number, 3390);
    EXPECT_EQ(hazard["ownerImage"].text, L"nginx.exe");
    EXPECT_EQ(hazard["ownerPid"].number, 4242);
    EXPECT_EQ(hazard["text"].text, guard::Describe(inUse));
    EXPECT_EQ(WritesIn(recorder), 0u);
    EXPECT_EQ(Port1(), 3389u);

    run = RunConsole({L"set-port", L"3390", L"--json", L"--force"});
    EXPECT_EQ(run.exitCode, 0);
    json = run.Json();
    ASSERT_TRUE(json);
    EXPECT_TRUE((*json)["forced"].boolean);
    EXPECT_FALSE((*json)["refused"].boolean);
    EXPECT_EQ((*json)["hazards"].items.size(), 1u);
    EXPECT_EQ(Port1(), 3390u);

    // Nothing left to write: the hazard is a warning, not a refusal.
    run = RunConsole({L"set-port", L"3390"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.err, L"警告：")) << console::Utf8(run.err);
    EXPECT_TRUE(Contains(run.out, L"两处端口设置已经是 3390，无需修改。"));
}

TEST_F(ConsoleGuardedTest, PolicyHazardsRefuseTheSwitchUnlessForced) {
    struct Case {
        const wchar_t* command;
        DWORD before;
        DWORD after;
    };
    for (const Case& c : {Case{L"enable", 1, 0}, Case{L"disable", 0, 1}}) {
        SCOPED_TRACE(console::Utf8(c.command));
        WriteDword(kTerminalServer, kDenyValue, c.before);
        FakeGuard guard;
        guard.turnOnHazards = {{guard::HazardKind::PolicyDenies}};
        guard.turnOffHazards = {{guard::HazardKind::PolicyAllows}};
        EXPECT_EQ(RunConsole({c.command}).exitCode, 3);
        EXPECT_EQ(Deny(), c.before);
        EXPECT_EQ(RunConsole({c.command, L"--force"}).exitCode, 0);
        EXPECT_EQ(Deny(), c.after);
    }
}

TEST_F(ConsoleGuardedTest, EveryHazardKindRefusesAndNamesItsKindAndPortInJson) {
    using guard::HazardKind;
    struct Case {
        const wchar_t* command;
        std::vector<std::wstring> operands;
        guard::Hazard hazard;
        const wchar_t* kind;
        std::optional<int> port;  // JSON; nothing for null
    };
    const Case cases[] = {
        {L"set-port", {L"0"}, {HazardKind::PortZero, 0}, L"PortZero", 0},
        {L"set-port", {L"50000"}, {HazardKind::PortInDynamicRange, 50000}, L"PortInDynamicRange", 50000},
        {L"set-port", {L"3390"}, {HazardKind::ServiceDisabled, 3390}, L"ServiceDisabled", 3390},
        {L"set-port", {L"3390"}, {HazardKind::ListenerDisabled, 3390}, L"ListenerDisabled", 3390},
        {L"enable", {}, {HazardKind::ServiceDisabled, 3389}, L"ServiceDisabled", 3389},
        {L"enable", {}, {HazardKind::ListenerDisabled, 0}, L"ListenerDisabled", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(console::Utf8(c.kind));
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        guard.portHazards = guard.turnOnHazards = {c.hazard};
        std::vector<std::wstring> args{c.command};
        args.insert(args.end(), c.operands.begin(), c.operands.end());
        args.push_back(L"--json");
        const ConsoleRun run = RunConsole(args);
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_EQ(WritesIn(recorder), 0u);
        const auto json = run.Json();
        ASSERT_TRUE(json);
        const JsonValue& hazard = (*json)["hazards"].items.at(0);
        EXPECT_EQ(hazard["kind"].text, c.kind);
        EXPECT_EQ(hazard["port"].IsNull(), !c.port);
        if (c.port) {
            EXPECT_EQ(hazard["port"].number, *c.port);
        }
        EXPECT_EQ(hazard["text"].text, guard::Describe(c.hazard));
    }
}

TEST_F(ConsoleGuardedTest, OpenFirewallGoesFirstAndAFailureStopsBeforeTheRegistry) {
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    guard.opening.failure = guard::OpenFailure::WriteFailed;
    guard.opening.hresult = static_cast<long>(0x80070005);
    ConsoleRun run = RunConsole({L"set-port", L"3390", L"--open-firewall", L"--json"});
    EXPECT_EQ(run.exitCode, 1);
    auto json = run.Json();
    ASSERT_TRUE(json);
    EXPECT_EQ((*json)["firewallRule"]["result"].text, L"failed");
    EXPECT_EQ((*json)["firewallRule"]["port"].number, 3390);
    EXPECT_EQ((*json)["error"]["code"].number, 0x80070005);
    EXPECT_EQ((*json)["error"]["text"].text,
              L"未能在 Windows 防火墙中放行端口 3390：写入防火墙规则失败，错误 0x80070005；防火墙与注册表均未作修改。");
    EXPECT_FALSE((*json)["changed"].boolean);
    EXPECT_EQ(WritesIn(recorder), 0u);
    EXPECT_EQ(Port1(), 3389u);

    // Read back as written: then the registry, after the rule. A closed firewall on the new port is
    // what the option fixes, so it does not refuse.
    guard.opening = {};
    guard.opening.admitted = true;
    guard.opening.added = {L"TCP rule", L"UDP rule"};
    guard.portHazards = {{guard::HazardKind::FirewallClosed, 3390}};
    run = RunConsole({L"set-port", L"3390", L"--open-firewall"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, L"已在 Windows 防火墙中放行 TCP 和 UDP 3390，并已确认在域、专用、公用网络中均放行。\r\n"
                       L"端口已由 3389 改为 3390（两处端口设置均已写入），重新启动计算机后生效。\r\n");
    const std::vector<GuardCall> added = guard.Of("OpenFirewallPort");
    ASSERT_EQ(added.size(), 2u);
    for (size_t i = 0; i < added[1].registryCallsBefore; ++i)
        EXPECT_NE(recorder.calls[i].function, "Set") << "a registry write came before the firewall";
    EXPECT_EQ(Port1(), 3390u);

    // Any other hazard still refuses, before the firewall is touched.
    guard.portHazards = {{guard::HazardKind::PortInUse, 3391}};
    EXPECT_EQ(RunConsole({L"set-port", L"3391", L"--open-firewall"}).exitCode, 3);
    EXPECT_EQ(guard.Of("OpenFirewallPort").size(), 2u);
}

TEST_F(ConsoleGuardedTest, OpenFirewallAddsNoRuleWhenAdmittedAndUsesTheCurrentPortForEnable) {
    FakeGuard guard;
    guard.opening.admitted = guard.opening.alreadyAdmitted = true;
    ConsoleRun run = RunConsole({L"enable", L"--open-firewall", L"--json"});
    EXPECT_EQ(run.exitCode, 0);
    auto json = run.Json();
    ASSERT_TRUE(json);
    EXPECT_EQ((*json)["firewallRule"]["result"].text, L"already-admitted");
    EXPECT_EQ((*json)["firewallRule"]["port"].number, 3389);
    ASSERT_EQ(guard.Of("OpenFirewallPort").size(), 1u);
    EXPECT_EQ(guard.Of("OpenFirewallPort")[0].port, 3389);
    EXPECT_TRUE((*json)["firewallRule"]["rules"].items.empty());
    EXPECT_EQ(Deny(), 0u);

    // No port to open: a failure, and the flag stays.
    WriteDword(kTerminalServer, kDenyValue, 1);
    WriteString(kRdpTcp, kPortValue, "3389");
    run = RunConsole({L"enable", L"--open-firewall"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err,
              L"失败：无法确定当前端口（WinStations\\RDP-Tcp 中没有 0 到 65535 之间的 REG_DWORD 端口值），"
              L"因此无法修改防火墙；未作任何修改。\r\n");
    EXPECT_EQ(Deny(), 1u);
}

TEST_F(ConsoleGuardedTest, RegistryFailuresExitOneWithWindowsOwnTextAndSayWhatWasWritten) {
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    recorder.fail = [](const RegCall& call) -> LONG {
        return call.function == "Create" && call.path.find("Tds") != std::string::npos ? ERROR_ACCESS_DENIED : 0;
    };
    struct Case {
        const char* name;
        DWORD firstBefore;
        bool changed;
        std::wstring firstKey;  // what the report says of the first key
    };
    const Case cases[] = {
        {"the first key written", 3389, true, L"WinStations\\RDP-Tcp 已写入 3390"},
        {"the first key held it already", 3390, false, L"WinStations\\RDP-Tcp 原已是 3390，未修改"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteDword(kRdpTcp, kPortValue, c.firstBefore);
        const size_t callsBefore = recorder.calls.size();
        const ConsoleRun run = RunConsole({L"set-port", L"3390", L"--json"});
        EXPECT_EQ(run.exitCode, 1);
        const auto json = run.Json();
        ASSERT_TRUE(json);
        EXPECT_EQ((*json)["changed"].boolean, c.changed);
        EXPECT_EQ((*json)["error"]["code"].number, ERROR_ACCESS_DENIED);
        EXPECT_EQ((*json)["error"]["text"].text, c.firstKey + L"；Wds\\rdpwd\\Tds\\tcp 写入失败：" +
                                                     Clause(ERROR_ACCESS_DENIED) + L"。两处端口现在不一致。");
        size_t sets = 0;
        for (size_t i = callsBefore; i < recorder.calls.size(); ++i) sets += recorder.calls[i].function == "Set";
        EXPECT_EQ(sets, c.changed ? 1u : 0u) << "a key that holds the port is not written again";
        EXPECT_EQ(Port1(), 3390u);
        EXPECT_EQ(Port2(), 3389u);
    }

    recorder.fail = [](const RegCall& call) -> LONG { return call.function == "Set" ? ERROR_ACCESS_DENIED : 0; };
    const ConsoleRun run = RunConsole({L"enable"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, L"");
    EXPECT_EQ(run.err, L"失败：" + SystemText(ERROR_ACCESS_DENIED) + L"\r\n请在以管理员身份运行的会话中执行。\r\n");
    EXPECT_EQ(Deny(), 1u);
}

TEST_F(ConsoleGuardedTest, NoArgumentsStartsTheWindowNextToTheProgramAndSaysWhenItCannot) {
    std::vector<std::wstring> started;
    DWORD answer = ERROR_SUCCESS;
    base::ScopedSeam seam(console::StartProgramCall(), [&](const std::wstring& path) {
        started.push_back(path);
        return answer;
    });
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::wstring folder(own);
    folder.erase(folder.find_last_of(L'\\') + 1);

    ConsoleRun run = RunConsole({});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out + run.err, L"");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], folder + L"rdpport.exe");

    answer = ERROR_CANCELLED;  // the user declined elevation
    run = RunConsole({});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, L"无法启动 " + folder + L"rdpport.exe：" + SystemText(ERROR_CANCELLED) + L"\r\n");
}

// The entries the help lists under a heading: the first word of each line indented by two spaces (a
// deeper indent continues the entry above), up to the blank line that ends the list. An entry without
// a description after it is listed with "" so the comparison shows it.
std::vector<std::wstring> EntriesUnder(const std::wstring& help, const std::wstring& heading) {
    std::vector<std::wstring> entries;
    size_t at = help.find(L"\r\n" + heading + L"\r\n");
    if (at == std::wstring::npos) return entries;
    at += heading.size() + 4;
    for (size_t end; (end = help.find(L"\r\n", at)) != std::wstring::npos && end > at; at = end + 2) {
        const std::wstring line = help.substr(at, end - at);
        if (line.rfind(L"  ", 0) != 0 || line.size() < 3 || line[2] == L' ') continue;
        const size_t wordEnd = line.find(L' ', 2);
        const bool described =
            wordEnd != std::wstring::npos && line.find_first_not_of(L' ', wordEnd) != std::wstring::npos;
        entries.push_back(described ? line.substr(2, wordEnd - 2) : L"");
    }
    return entries;
}

TEST_F(ConsoleGuardedTest, HelpListsEveryCommandOptionAndExitCode) {
    const ConsoleRun run = RunConsole({L"help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, L"");
    EXPECT_EQ(EntriesUnder(run.out, L"命令："),
              (std::vector<std::wstring>{L"（无）", L"status", L"set-port", L"enable", L"disable", L"nla", L"confirm",
                                         L"watch", L"firewall", L"help"}));
    EXPECT_EQ(EntriesUnder(run.out, L"选项："),
              (std::vector<std::wstring>{L"--json", L"--what-if", L"--force", L"--open-firewall", L"--apply",
                                         L"--revert-after"}));
    EXPECT_EQ(EntriesUnder(run.out, L"退出代码："), (std::vector<std::wstring>{L"0", L"1", L"2", L"3"}));

    // The other spellings the help names give the same text, and --json carries it as "usage".
    for (const wchar_t* spelling : {L"--help", L"/?"}) {
        const ConsoleRun again = RunConsole({spelling});
        EXPECT_EQ(again.exitCode, 0) << console::Utf8(spelling);
        EXPECT_EQ(again.out, run.out) << console::Utf8(spelling);
    }
    const auto json = RunConsole({L"--help", L"--json"}).Json();
    ASSERT_TRUE(json);
    EXPECT_EQ((*json)["usage"].text, run.out);
}

}  // namespace
