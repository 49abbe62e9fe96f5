// The window's safety net: the dialog a port change shows in a Remote Desktop session, the boxes of
// "立即生效" (armed, armed but not restarted, not armed), the red line and the refusals while a revert
// waits, the look again after a session notification, and the maker's page handed to the desktop's
// shell. The revert's effects are kept in memory (FakeRevert); TermService is the service manager's
// calls answered here. The real arming from the window runs on the simulated server
// (RevertExplorationTest).

#include <gtest/gtest.h>

#include <random>

#include "guard/ServiceRestart.h"
#include "revert/Arming.h"
#include "revert/ProgramCopy.h"
#include "support/FormProbes.h"
#include "support/ProgramTexts.h"
#include "support/RevertKit.h"
#include "support/SeededTest.h"
#include "support/TaskDialogScript.h"
#include "ui/main/SafeChange.h"
#include "ui/toolkit/Session.h"
#include "ui/toolkit/Shell.h"

namespace {

using namespace testkit;
using Probe = ui::FormMainProbe;

constexpr const wchar_t* kBeside = L"C:\\Tools\\rdpport.com";
const std::wstring kArmed = L"端口已修改为 3390。远程桌面服务即将重启，当前连接会断开。请用端口 3390 重新连接并登录以确认；"
                            L"若 10 分钟内未登录，将自动改回端口 3389。";
const std::wstring kBeforeEffect = L"待确认：端口 3390 生效后 10 分钟内未登录，将改回端口 3389。";
const std::wstring kRefusal = L"自动改回正在等待确认（3390 → 3389）。请先用新端口登录确认，或等它改回。";

bool StartsEnds(const std::wstring& text, const std::wstring& start, const std::wstring& end) {
    return text.rfind(start, 0) == 0 && text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class WindowRevertTest : public SeededTest {
protected:
    FakeRevert revert;
    bool running = true;
    DWORD startError = 0;
    std::vector<std::string> effects;  // the boxes and the service manager's calls, in order
    std::wstring beside = kBeside;

    void SetUp() override {
        SeededTest::SetUp();
        toolkit::RemoteSessionCall().Set([] { return true; });
        revert::ConsoleBesideCall().Set([this] { return beside; });
        guard::ServiceControlCalls() = {
            [](const std::wstring&, DWORD) { return DWORD{0}; },
            [](const std::wstring&, std::vector<std::wstring>& dependents) { return dependents.clear(), DWORD{0}; },
            [this](const std::wstring&) { return effects.push_back("stop"), running = false, DWORD{0}; },
            [this](const std::wstring&) { return effects.push_back("start"), running = !startError, startError; },
            [this](const std::wstring&) { return std::optional<DWORD>(running ? SERVICE_RUNNING : SERVICE_STOPPED); }};
        StartMain();
        Script().OnShow([this](const ShownBox& box) { effects.push_back("box " + std::to_string(box.style)); });
    }
    void TearDown() override {
        guard::ServiceControlCalls() = guard::RealServiceControl();
        revert::ConsoleBesideCall().Reset();
        SeededTest::TearDown();
    }
    static void Change(const std::wstring& typed) {
        Ctl(ui::Text_NewPort).SetText(typed);
        Form().Cmd_Change_Click();
    }
    static const std::vector<ShownDialog>& Dialogs() { return TaskDialogScript::Instance().Shown(); }
    static int OuterHeight() {
        RECT r{};
        GetWindowRect(Form().Hwnd(), &r);
        return r.bottom - r.top;
    }
};

TEST_F(WindowRevertTest, TheDialogComesOnlyInARemoteSessionForAnotherPortAndEachChoiceLeadsOn) {
    struct Case { bool remote; const wchar_t* typed; int answer; size_t dialogs; std::vector<std::wstring> boxes; DWORD port; };
    const Case cases[] = {
        {false, L"3390", 0, 0, {ChangeQuestion(L"3389", L"3390"), kPortChanged}, 3390},  // as it always was
        {true, L"3389", 0, 0, {ChangeQuestion(L"3389", L"3389"), kPortChanged}, 3389},   // nothing to lose
        {true, L"3390", IDCANCEL, 1, {}, 3389},                                              // Esc, closing, Cancel
        {true, L"3390", ui::kChoicePortOnly, 1, {ChangeQuestion(L"3389", L"3390"), kPortChanged}, 3390},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.remote << " " << c.answer);
        StartMain();
        TaskDialogScript::Instance().Reset();
        toolkit::RemoteSessionCall().Set([&c] { return c.remote; });
        if (c.answer) TaskDialogScript::Instance().Answer(c.answer);
        Change(c.typed);
        ASSERT_EQ(Dialogs().size(), c.dialogs);
        EXPECT_EQ(Script().Texts(), c.boxes);
        EXPECT_EQ(Port1(), c.port);
        EXPECT_EQ(Port2(), c.port);
        EXPECT_FALSE(revert.task) << "the plain change arms nothing";
        EXPECT_EQ(Probe::LastAppliedPort(), c.boxes.empty() ? L"" : c.typed);
    }
    const toolkit::CommandDialog& shown = Dialogs()[0].dialog;
    EXPECT_EQ(Dialogs()[0].caption, L"Korvane远程端口修改软件");
    EXPECT_EQ(shown.instruction, L"您正通过远程桌面连接这台服务器");
    EXPECT_EQ(shown.content, L"新端口要在远程桌面服务或计算机重启后才生效，届时当前连接会断开。如果云安全组、路由器或其他防火墙"
                             L"没有放行端口 3390，您将无法再连接这台服务器。");
    ASSERT_EQ(shown.links.size(), 3u);
    EXPECT_EQ(shown.links[0].text, L"立即生效，10 分钟内未用新端口登录则自动改回 3389（推荐）");
    EXPECT_EQ(shown.links[0].note, L"重启远程桌面服务，当前连接断开（会话保留）。请用端口 3390 重新连接并登录，登录即确认；"
                                   L"否则 10 分钟后自动改回端口 3389。");
    EXPECT_TRUE(shown.links[0].enabled);
    EXPECT_EQ(shown.links[1].text, L"只修改端口，重启计算机后生效");
    EXPECT_EQ(shown.links[1].note, L"不会自动改回。重启前请确认端口 3390 已在所有防火墙和云安全组中放行。");
    EXPECT_EQ(shown.links[2].id, IDCANCEL);
    EXPECT_EQ(shown.defaultId, IDCANCEL);
}

TEST_F(WindowRevertTest, WithoutTheConsoleProgramBesideItTheSafeWayIsGreyedOut) {
    beside.clear();
    Change(L"3390");
    ASSERT_EQ(Dialogs().size(), 1u);
    EXPECT_FALSE(Dialogs()[0].dialog.links[0].enabled);
    EXPECT_EQ(Dialogs()[0].dialog.links[0].note, L"需要与本程序在同一文件夹中的 rdpport.com。");
    EXPECT_EQ(Port1(), 3389u) << "Cancel, as nothing else was chosen";
}

TEST_F(WindowRevertTest, ApplyingArmsThenWritesThenSaysSoThenRestarts) {
    const int before = OuterHeight();
    TaskDialogScript::Instance().Answer(ui::kChoiceApplyWithRevert);
    Change(L"3390");
    EXPECT_EQ(Script().Texts(), (std::vector<std::wstring>{ChangeQuestion(L"3389", L"3390"), kArmed}));
    EXPECT_EQ(effects, (std::vector<std::string>{"box 289", "box 64", "stop", "start"}));
    EXPECT_EQ(revert.installedFrom, kBeside);
    ASSERT_TRUE(revert.task);
    EXPECT_NE(revert.task->find(L"--from 3389 --to 3390 --revert-after 600s --apply"), std::wstring::npos);
    EXPECT_EQ(Port1(), 3390u);
    EXPECT_EQ(Port2(), 3390u);
    EXPECT_EQ(Probe::LastAppliedPort(), L"3390");
    EXPECT_TRUE(Ctl(ui::Label_Pending).Visible());
    EXPECT_EQ(Ctl(ui::Label_Pending).Text(), kBeforeEffect);
    EXPECT_GT(OuterHeight(), before) << "taller while the line shows";
    EXPECT_TRUE(IsWindowEnabled(Form().Hwnd())) << "input back after the wait";
}

TEST_F(WindowRevertTest, ArmingThatFailsWritesNothingAndARestartThatFailsLeavesTheRevertArmed) {
    struct Case { DWORD install; bool startsWatch; DWORD startError; std::wstring start, end; DWORD port; bool task; };
    const Case cases[] = {
        {ERROR_ACCESS_DENIED, true, 0, L"未能安排自动改回：无法把 rdpport.com 复制到", L"。端口未修改。", 3389, false},
        {0, false, 0, L"未能安排自动改回：自动改回的监视进程没有在 30 秒内启动", L"。端口未修改。", 3389, false},
        {0, true, ERROR_SERVICE_REQUEST_TIMEOUT, L"未能重启远程桌面服务（TermService：",
         L"自动改回仍在等待：届时 10 分钟内未用新端口登录，将改回端口 3389。", 3390, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.install << " " << c.startsWatch << " " << c.startError);
        StartMain();
        revert.task.reset();
        revert.record.reset();
        revert.installResult = c.install;
        revert.startsWatch = c.startsWatch;
        startError = c.startError;
        TaskDialogScript::Instance().Answer(ui::kChoiceApplyWithRevert);
        Change(L"3390");
        ASSERT_FALSE(Script().Shown().empty());
        EXPECT_TRUE(StartsEnds(Script().Shown().back().text, c.start, c.end)) << Script().Shown().back().text.size();
        EXPECT_EQ(Script().Shown().back().style, 48u);
        EXPECT_EQ(Port1(), c.port);
        EXPECT_EQ(revert.task.has_value(), c.task);
        EXPECT_EQ(Ctl(ui::Label_Pending).Visible(), c.task);
    }
}

TEST_F(WindowRevertTest, WhileARevertWaitsTheLineShowsAndNeitherCommandWrites) {
    revert.Pending({3389, 3390, 600, true});
    Probe::RefreshAll();
    EXPECT_EQ(Ctl(ui::Label_Pending).Text(), kBeforeEffect);
    // Once the new port took effect, the deadline in local time.
    revert.record->effectiveAt = FakeRevert::kUtcAtZero;
    Probe::RefreshAll();
    const ULONGLONG due = FakeRevert::kUtcAtZero + 600ULL * 10000000ULL;
    FILETIME utc{static_cast<DWORD>(due), static_cast<DWORD>(due >> 32)}, local{};
    SYSTEMTIME t{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local) && FileTimeToSystemTime(&local, &t));
    const wchar_t hhmm[] = {wchar_t(L'0' + t.wHour / 10), wchar_t(L'0' + t.wHour % 10), L':', wchar_t(L'0' + t.wMinute / 10),
                            wchar_t(L'0' + t.wMinute % 10), 0};
    EXPECT_EQ(Ctl(ui::Label_Pending).Text(),
              L"待确认：请用端口 3390 登录以确认，否则将于 " + std::wstring(hhmm) + L" 改回端口 3389。");
    Change(L"3391");
    Form().Cmd_Revert_Click();
    EXPECT_EQ(Script().Texts(), (std::vector<std::wstring>{kRefusal, kRefusal}));
    EXPECT_EQ(Script().Shown()[0].style, 48u);
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_EQ(Port1(), 3389u);
}

TEST_F(WindowRevertTest, ASessionNotificationRefreshesAndLooksAgainUntilTheTaskGoes) {
    revert.Pending({3389, 3390, 600, true});
    Probe::RefreshAll();
    SendMessageW(Form().Hwnd(), WM_WTSSESSION_CHANGE, WTS_SESSION_LOGON, 1);
    EXPECT_TRUE(Ctl(ui::Label_Pending).Visible()) << "the watch has not confirmed yet";
    revert.task.reset();  // the watch confirms
    revert.record.reset();
    SendMessageW(Form().Hwnd(), WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 1);
    EXPECT_TRUE(Ctl(ui::Label_Pending).Visible()) << "a lock is no reason to look";
    SendMessageW(Form().Hwnd(), WM_TIMER, 1, 0);
    EXPECT_FALSE(Ctl(ui::Label_Pending).Visible());
}

TEST_F(WindowRevertTest, TheMakersPageGoesToTheDesktopsShellAndOnlyWithoutOneToShellExecute) {
    for (const HRESULT answer : {S_OK, E_FAIL}) {
        EffectLog::Instance().Reset();
        std::vector<std::wstring> handed;
        toolkit::DesktopShellExecuteCall().Set([&](const std::wstring& file, const std::wstring& verb, int show) {
            handed.push_back(file + L" " + verb + L" " + std::to_wstring(show));
            return answer;
        });
        Form().Cmd_ContactUs_Click();
        ASSERT_EQ(handed.size(), 1u);
        EXPECT_EQ(handed[0], Ctl(ui::Label2).Text() + L" open 0");
        EXPECT_EQ(EffectLog::Instance().shellCalls.size(), answer == S_OK ? 0u : 1u);
    }
}

// The task's command line is the revert's only record where the Task Scheduler keeps it: every plan
// reads back as written, and a line changed anywhere reads as none.
TEST(WatchArgumentsTest, EveryPlanReadsBackAndAChangedLineReadsAsNone) {
    std::mt19937 random(20261209);
    for (int i = 0; i < 500; ++i) {
        const revert::PendingRevert plan{static_cast<std::uint16_t>(random()), static_cast<std::uint16_t>(random()),
                                         revert::kShortestSeconds + random() % (revert::kLongestSeconds - 9),
                                         random() % 2 == 1};
        const std::wstring line = revert::WatchArguments(plan);
        ASSERT_EQ(revert::PlanOfWatchArguments(line), plan) << line.size();
        std::wstring changed = line;
        changed[random() % changed.size()] = L"x9 -"[random() % 4];
        if (changed != line) {
            EXPECT_NE(revert::PlanOfWatchArguments(changed), std::optional<revert::PendingRevert>(plan));
        }
    }
    for (const wchar_t* line : {L"watch --from 3389 --to 3390 --revert-after 9s", L"watch --from 3389 --to 65536 --revert-after 60s",
                                L"watch --from 3389 --to 3390 --revert-after 60", L"watch --from 3389 --to 3390 --revert-after 60s --force"})
        EXPECT_FALSE(revert::PlanOfWatchArguments(line)) << std::wstring(line).size();
}

}  // namespace
