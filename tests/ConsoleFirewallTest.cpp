// rdpport.com firewall: each protocol and profile judged, from this machine or a snapshot file; the
// snapshot it exports judges the same when read back; files and command lines that are not right.

#include <gtest/gtest.h>
#include <windows.h>

#include "support/ConsoleKit.h"
#include "support/SeededTest.h"

namespace {

using namespace testkit;
namespace fw = guard::firewall;

// A file in the temporary folder, removed again with the object.
class TempFile {
public:
    explicit TempFile(const wchar_t* name) {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        m_path = std::wstring(folder) + name;
        DeleteFileW(m_path.c_str());
    }
    ~TempFile() { DeleteFileW(m_path.c_str()); }
    const std::wstring& Path() const { return m_path; }
    void Write(const std::string& text) const {
        const HANDLE file = CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
        CloseHandle(file);
    }

private:
    std::wstring m_path;
};

// The domain profile current; an allow rule for TCP 3390 everywhere, nothing for UDP.
fw::State DomainServer() {
    fw::State state;
    state.known = true;
    state.currentProfiles = fw::kProfileDomain;
    fw::Rule allow;
    allow.name = L"RDP 3390";
    allow.protocol = fw::kProtocolTcp;
    allow.localPorts = L"3390";
    allow.enabled = true;
    state.rules = {allow};
    return state;
}

class ConsoleFirewallTest : public SeededTest {};

TEST_F(ConsoleFirewallTest, JudgesEachProfileAndExportsASnapshotThatJudgesTheSameFromAFile) {
    FakeGuard guard;
    guard.firewallState = DomainServer();
    TempFile snapshot(L"rdpport-firewall-snapshot.json");
    const ConsoleRun machine = RunConsole({L"firewall", L"3390", L"--json", L"--export", snapshot.Path()});
    EXPECT_EQ(machine.exitCode, 0) << testing::PrintToString(machine.out);
    const JsonValue json = JsonOf(machine);
    EXPECT_EQ(json.Keys(), (std::vector<std::string>{"command", "exitCode", "error", "port", "source", "currentProfiles",
                                                     "tcp", "udp", "admitted", "closedNow"}));
    EXPECT_EQ(json["source"].text, L"machine");
    ASSERT_EQ(json["currentProfiles"].items.size(), 1u);
    EXPECT_EQ(json["currentProfiles"].items[0].text, L"domain");
    for (const char* profile : {"domain", "private", "public"}) {
        EXPECT_EQ(json["tcp"][profile]["verdict"].text, L"open") << profile;
        EXPECT_EQ(json["tcp"][profile]["reason"].text, L"allow-rule") << profile;
        EXPECT_EQ(json["tcp"][profile]["rule"].text, L"RDP 3390") << profile;
        EXPECT_EQ(json["udp"][profile]["verdict"].text, L"closed") << profile;
        EXPECT_EQ(json["udp"][profile]["reason"].text, L"no-allow-rule") << profile;
        EXPECT_TRUE(json["udp"][profile]["rule"].IsNull()) << profile;
    }
    EXPECT_TRUE(json["admitted"]["tcp"].boolean);
    EXPECT_FALSE(json["admitted"]["udp"].boolean);
    EXPECT_FALSE(json["closedNow"]["tcp"].boolean);
    EXPECT_TRUE(json["closedNow"]["udp"].boolean);

    // The file alone, with the machine's firewall gone: the same report, but for where it came from.
    guard.firewallState = fw::State{};
    std::wstring expected = machine.out;
    expected.replace(expected.find(L"machine"), 7, L"file");
    EXPECT_EQ(RunConsole({L"firewall", L"3390", L"--json", L"--from", snapshot.Path()}).out, expected);

    // In words: every profile, the current one marked, and what decides.
    const ConsoleRun text = RunConsole({L"firewall", L"3390", L"--from", snapshot.Path()});
    EXPECT_NE(text.out.find(L"TCP：\r\n  域（当前）：一定放行——规则“RDP 3390”放行\r\n  专用：一定放行"), std::wstring::npos)
        << testing::PrintToString(text.out);
    EXPECT_NE(text.out.find(L"  公用：一定阻止——没有放行该端口的规则，且默认阻止入站连接\r\n"), std::wstring::npos);
    EXPECT_NE(text.out.find(L"UDP 在域、专用、公用网络中均放行：否\r\n"), std::wstring::npos);
}

TEST_F(ConsoleFirewallTest, WhatCannotBeReadOrUsedExitsWithTheReason) {
    FakeGuard guard;  // this machine's firewall cannot be read (as under Wine)
    TempFile broken(L"rdpport-firewall-broken.json");
    broken.Write("{\"format\": \"rdpport-firewall-snapshot\",\n \"version\": 1,\n \"rules\": [{\"protocol\": \"six\"}]}");
    TempFile notJson(L"rdpport-firewall-notjson.json");
    notJson.Write("{\"format\": \"rdpport-firewall-snapshot\",\n  \"version\": 1,,}");
    TempFile missing(L"rdpport-firewall-missing.json");
    struct Case {
        std::vector<std::wstring> args;
        int exitCode;
        std::wstring error;  // a part of the error's text
    };
    const Case cases[] = {
        {{L"firewall", L"3390"}, 1, L"无法读取 Windows 防火墙的设置"},
        {{L"firewall", L"3390", L"--from", broken.Path()}, 1, L"rules[0].protocol：应为整数"},
        {{L"firewall", L"3390", L"--from", notJson.Path()}, 1, L"第 2 行"},
        {{L"firewall", L"3390", L"--from", missing.Path()}, 1, L"无法读取 " + missing.Path()},
        {{L"firewall", L"--from", broken.Path()}, 2, L"firewall --from 需要一个端口号"},
        {{L"firewall", L"33.90"}, 2, L"33.90"},
        {{L"firewall", L"3390", L"3391"}, 2, L"多余的参数：3391"},
        {{L"status", L"--export", missing.Path()}, 2, L"--export 不能用于 status 命令。"},
        {{L"firewall", L"3390", L"--what-if"}, 2, L"--what-if 不能用于 firewall 命令。"},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> args = c.args;
        args.push_back(L"--json");
        const JsonValue json = JsonOf(RunConsole(args));
        EXPECT_EQ(json["exitCode"].number, c.exitCode) << testing::PrintToString(c.args);
        const std::wstring error = json["error"]["text"].text;
        EXPECT_NE(error.find(c.error), std::wstring::npos) << testing::PrintToString(c.args) << " " << testing::PrintToString(error);
    }
    EXPECT_EQ(GetFileAttributesW(missing.Path().c_str()), INVALID_FILE_ATTRIBUTES) << "nothing is written on failure";
}

}  // namespace
