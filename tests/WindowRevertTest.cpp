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
    struct Case { bool remote; bool beside; const wchar_t* typed; int answer; size_t dialogs; std::vector<std::wstring> boxes; DWORD port; };
    const Case cases[] = {
        {false, true, L"3390", 0, 0, {ChangeQuestion(L"3389", L"3390"), kPortChanged}, 3390},  // as it always was
        {true, true, L"3389", 0, 0, {ChangeQuestion(L"3389", L"3389"), kPortChanged}, 3389},   // nothing to lose
        {true, true, L"3390", IDCANCEL, 1, {}, 3389},                                              // Esc, closing, Cancel
        {true, true, L"3390", ui::kChoicePortOnly, 1, {ChangeQuestion(L"3389", L"3390"), kPortChanged}, 3390},
        {true, false, L"3390", 0, 1, {}, 3389},  // no rdpport.com beside: greyed out, Cancel as nothing else chosen
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.remote << c.beside << " " << c.answer);
        StartMain();
        TaskDialogScript::Instance().Reset();
        toolkit::RemoteSessionCall().Set([&c] { return c.remote; });
        beside = c.beside ? kBeside : L"";
        if (c.answer) TaskDialogScript::Instance().Answer(c.answer);
        Change(c.typed);
        ASSERT_EQ(Dialogs().size(), c.dialogs);
        EXPECT_EQ(Script().Texts(), c.boxes);
        EXPECT_EQ(Port1(), c.port);
        EXPECT_EQ(Port2(), c.port);
        EXPECT_FALSE(revert.task) << "the plain change arms nothing";
        EXPECT_EQ(Probe::LastAppliedPort(), c.boxes.empty() ? L"" : c.typed);
        if (c.dialogs == 0) continue;
        const toolkit::CommandLink& safe = Dialogs()[0].dialog.links[0];
        EXPECT_EQ(safe.enabled, c.beside);
        EXPECT_EQ(safe.note, c.beside ? L"重启远程桌面服务，当前连接断开（会话保留）。请用端口 3390 重新连接并登录，登录即确认；"
                                        L"否则 10 分钟后自动改回端口 3389。"
                                      : L"需要与本程序在同一文件夹中的 rdpport.com。");
    }
    const toolkit::CommandDialog& shown = Dialogs()[0].dialog;
    EXPECT_EQ(Dialogs()[0].caption, L"Korvane远程端口修改软件");
    EXPECT_EQ(shown.instruction, L"您正通过远程桌面连接这台服务器");
    EXPECT_EQ(shown.content, L"新端口要在远程桌面服务或计算机重启后才生效，届时当前连接会断开。如果云安全组、路由器或其他防火墙"
                             L"没有放行端口 3390，您将无法再连接这台服务器。");
    ASSERT_EQ(shown.links.size(), 3u);
    EXPECT_EQ(shown.links[0].text, L"立即生效，10 分钟内未用新端口登录则自动改回 3389（推荐）");
    EXPECT_EQ(shown.links[1].text, L"只修改端口，重启计算机后生效");
    EXPECT_EQ(shown.links[1].note, L"不会自动改回。重启前请确认端口 3390 已在所有防火墙和云安全组中放行。");
    EXPECT_EQ(shown.links[2].id, IDCANCEL);
    EXPECT_EQ(shown.defaultId, IDCANCEL);
}

// Armed, then written, then the box, then the restart; a failed arming writes nothing, a failed restart
// leaves the revert armed.
TEST_F(WindowRevertTest, ApplyingArmsWritesSaysSoAndRestartsOrStopsWhereAStepFails) {
    struct Case { DWORD install; bool startsWatch; DWORD startError; std::vector<std::string> effects; std::wstring start, end; bool armed; };
    const Case cases[] = {
        {0, true, 0, {"box 289", "box 64", "stop", "start"}, kArmed, L"", true},
        {ERROR_ACCESS_DENIED, true, 0, {"box 289", "box 48"}, L"未能安排自动改回：无法把 rdpport.com 复制到", L"。端口未修改。", false},
        {0, false, 0, {"box 289", "box 48"}, L"未能安排自动改回：自动改回的监视进程没有在 30 秒内启动", L"。端口未修改。", false},
        {0, true, ERROR_SERVICE_REQUEST_TIMEOUT, {"box 289", "box 64", "stop", "start", "box 48"},
         L"未能重启远程桌面服务（TermService：", L"自动改回仍在等待：届时 10 分钟内未用新端口登录，将改回端口 3389。", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.install << " " << c.startsWatch << " " << c.startError);
        StartMain();
        const int before = OuterHeight();
        effects.clear();
        Script().OnShow([this](const ShownBox& box) { effects.push_back("box " + std::to_string(box.style)); });
        revert.task.reset();
        revert.record.reset();
        revert.installResult = c.install;
        revert.startsWatch = c.startsWatch;
        startError = c.startError;
        TaskDialogScript::Instance().Answer(ui::kChoiceApplyWithRevert);
        Change(L"3390");
        EXPECT_EQ(effects, c.effects);
        ASSERT_FALSE(Script().Shown().empty());
        EXPECT_TRUE(StartsEnds(Script().Shown().back().text, c.start, c.end)) << Script().Shown().back().text.size();
        EXPECT_EQ(revert.installedFrom, kBeside);
        EXPECT_EQ(Port1(), c.armed ? 3390u : 3389u);
        EXPECT_EQ(Port2(), c.armed ? 3390u : 3389u);
        EXPECT_EQ(Probe::LastAppliedPort(), c.armed ? L"3390" : L"") << "a refused arming may be tried again";
        EXPECT_EQ(revert.task.has_value(), c.armed);
        EXPECT_EQ(revert.task && revert.task->find(L"--from 3389 --to 3390 --revert-after 600s --apply") != std::wstring::npos,
                  c.armed);
        EXPECT_EQ(Ctl(ui::Label_Pending).Visible(), c.armed);
        EXPECT_EQ(Ctl(ui::Label_Pending).Text(), c.armed ? kBeforeEffect : L"");
        EXPECT_EQ(OuterHeight() > before, c.armed) << "taller while the line shows";
        EXPECT_TRUE(IsWindowEnabled(Form().Hwnd())) << "input back after the wait";
    }
}

// The line says when the revert is due, neither port command writes while it waits, and a logon's
// notification looks again (the Task Scheduler only) until the watch has removed the task.
TEST_F(WindowRevertTest, WhileARevertWaitsTheLineShowsNeitherCommandWritesAndALogonLooksAgain) {
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
