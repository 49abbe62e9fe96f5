// Reliability under repetition: many start-and-quit cycles of separate processes, and one long run of
// random commands in a single process, checked after every step against a model of what the registry
// and the window must hold, with the process's GDI objects, USER objects, handles and windows watched
// for leaks. Wine reports no GDI or USER objects, so there only handles and windows are compared (the GDI
// objects of the window code are counted in-process: StartupTest, base::GdiObjectsHeld).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "driver/MessageBoxReader.h"
#include "driver/ProcessResources.h"
#include "driver/ProgramCase.h"
#include "driver/ProgramProcess.h"
#include "driver/Wait.h"
#include "driver/WindowFinder.h"
#include "support/ProgramTexts.h"
#include "support/RegistryKit.h"

namespace {

using namespace e2e;
using namespace testkit;

constexpr std::chrono::milliseconds kQuitTimeout = 10s;

const std::wstring kRestored = L"设置完成！复原端口：";

std::string Quoted(const std::wstring& text) { return "\"" + Utf8(text) + "\""; }

std::string BoxesShownBy(DWORD processId) {
    std::string all;
    for (HWND box : MessageBoxesOf(processId)) all += (all.empty() ? "" : "; ") + Quoted(ReadMessageBox(box).text);
    return all;
}

HWND VisibleTopLevel(DWORD processId, const std::wstring& caption) {
    for (HWND window : TopLevelWindowsOf(processId))
        if (CaptionOf(window) == caption && IsWindowVisible(window)) return window;
    return nullptr;
}

// One cycle with a process of its own, the way an administrator opens the tool, reads it and closes
// it: the main window must show the seeded values, and the quit button must end the process with
// exit code 0 and no message box on the way.
testing::AssertionResult StartReadAndQuit(DWORD deny, DWORD port) {
    const std::wstring path = ProgramPath();
    if (path.empty()) return testing::AssertionFailure() << "RDPPORT_EXE is not set";
    ProgramProcess program;  // ends the process when it leaves scope, whatever happened
    DWORD error = 0;
    if (!program.Start(path, error)) return testing::AssertionFailure() << "cannot start the program: error " << error;
    const DWORD pid = program.Id();

    HWND main = nullptr;
    bool boxShown = false;
    WaitUntil(
        [&] {
            main = VisibleTopLevel(pid, kMainCaption);
            boxShown = !MessageBoxesOf(pid).empty();
            return main || boxShown || !program.Running();
        },
        kStartTimeout, 2ms);
    if (boxShown) return testing::AssertionFailure() << "a message box came up during start-up: " << BoxesShownBy(pid);
    if (const std::optional<DWORD> code = program.WaitForExit(0ms))
        return testing::AssertionFailure()
               << "the program ended during start-up with exit code 0x" << std::hex << *code;
    if (!main)
        return testing::AssertionFailure()
               << "the main window did not appear within " << kStartTimeout.count() << " ms (start-up hangs)";
    if (!WaitUntil([&] { return VisibleTopLevel(pid, kSplashCaption) == nullptr; }, kBoxTimeout))
        return testing::AssertionFailure() << "the splash stayed on screen next to the main window";

    const std::vector<HWND> edits = ChildrenLeftToRight(main, L"Edit");
    if (edits.size() != 2)
        return testing::AssertionFailure() << "the main window has " << edits.size() << " edit boxes";
    std::wstring shownPort;
    if (!WaitUntil([&] { return (shownPort = TextOf(edits[0])) == std::to_wstring(port); }, kBoxTimeout))
        return testing::AssertionFailure() << "the current-port box shows " << Quoted(shownPort) << ", seeded " << port;
    const std::wstring status = deny == 1 ? kStatusOff : kStatusOn;
    if (!FindChild(main, L"Static", status))
        return testing::AssertionFailure() << "no status label " << Quoted(status) << " for the seeded flag " << deny;

    HWND quit = FindChild(main, L"Button", kQuitButton);
    if (!quit || !IsWindowVisible(quit) || !IsWindowEnabled(quit))
        return testing::AssertionFailure() << "no visible, enabled button " << Quoted(kQuitButton);
    PostButtonClick(quit);

    std::optional<DWORD> exitCode;
    WaitUntil(
        [&] {
            boxShown = boxShown || !MessageBoxesOf(pid).empty();
            exitCode = program.WaitForExit(0ms);
            return exitCode.has_value() || boxShown;
        },
        kQuitTimeout);
    if (boxShown) return testing::AssertionFailure() << "quitting showed a message box: " << BoxesShownBy(pid);
    if (!exitCode)
        return testing::AssertionFailure() << "still running " << kQuitTimeout.count() << " ms after the quit button";
    if (*exitCode != 0) return testing::AssertionFailure() << "exit code 0x" << std::hex << *exitCode << ", not 0";
    return testing::AssertionSuccess();
}

// A text typed into the new-port box and what the port check makes of it: refused, or the port it
// stands for. A decimal fraction rounds half to even, "&H" is hexadecimal, spaces around are dropped.
struct PortInput {
    std::wstring typed;
    bool accepted;
    DWORD value;
};

const std::vector<PortInput> kListedInputs = {
    {L"abc", false, 0},      {L"1e3", false, 0},         {L"65536", false, 0}, {L"-1", false, 0},
    {L"", false, 0},         {L"99999999999", false, 0}, {L"80.5", true, 80},  {L"&H1F90", true, 8080},
    {L" 3390 ", true, 3390}, {L"03390", true, 3390},     {L"0", true, 0},      {L"65535", true, 65535},
};

std::wstring Trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

// What the registry and the window must hold. Another program may change the registry between two
// commands; the window shows the registry as of the program's last refresh.
struct Model {
    DWORD deny = 0;             // fDenyTSConnections
    DWORD port = 0;             // PortNumber, at both port keys
    std::wstring shownPort;     // the current-port box
    bool shownEnabled = false;  // status label and the visible on/off button
    std::wstring originalPort;  // the port read at start
    std::wstring lastApplied;   // the last port text the user confirmed
    std::wstring newPortText;   // what the new-port box holds

    // What a refresh reads: the port at the key the program reads, and the flag (only 1 refuses).
    void Refresh() {
        shownPort = std::to_wstring(port);
        shownEnabled = deny != 1;
    }
};

class E2EReliability : public ProgramCase {
protected:
    // The lockout guard's warning before a change to `port`, if one comes: port 0, or a port in the
    // dynamic range (Windows' default, as Wine reports none); none for the port the window shows.
    static std::optional<std::wstring> LockoutWarning(DWORD port, const Model& m) {
        if (std::to_wstring(port) == m.shownPort) return std::nullopt;
        if (port == 0) return kPortZeroWarning;
        if (port >= 49152) return DynamicRangeWarning(std::to_wstring(port));
        return std::nullopt;
    }

    // Answers the program's next message box after checking that it is the expected one.
    testing::AssertionResult AnswerBox(const std::wstring& text, const BoxKind& kind, int answer) {
        const std::optional<MessageBoxView> box = NextBox();
        if (!box) return testing::AssertionFailure() << "no message box; expected " << kind.name << " " << Quoted(text);
        if (auto same = BoxIs(*box, Main(), text, kind); !same) return same;
        return Answer(*box, answer);
    }

    testing::AssertionResult RegistryHolds(const Model& m) const {
        if (auto r = DwordAt(kRdpTcp, kPortValue, m.port); !r) return r;
        if (auto r = DwordAt(kRdpwdTcp, kPortValue, m.port); !r) return r;
        return DwordAt(kTerminalServer, kDenyValue, m.deny);
    }

    testing::AssertionResult WindowShows(const Model& m) const {
        if (auto r = SettledWithoutBox(); !r) return r;
        if (auto r = ShowsText(CurrentPortBox(), m.shownPort); !r) return r << " (current-port box)";
        if (auto r = ShowsText(StatusLabel(), m.shownEnabled ? kStatusOn : kStatusOff); !r) return r << " (status)";
        if (auto r = OnOffButtonIs(m.shownEnabled ? kCloseButton : kOpenButton); !r) return r;
        if (auto r = ShowsText(NewPortBox(), m.newPortText); !r) return r << " (new-port box)";
        return testing::AssertionSuccess();
    }

    testing::AssertionResult Agrees(const Model& m) const {
        if (auto r = RegistryHolds(m); !r) return r << " (registry)";
        if (auto r = WindowShows(m); !r) return r << " (window)";
        return testing::AssertionSuccess();
    }

    // 确定修改 with `input` in the new-port box; `confirm` answers the confirmation, if one comes.
    testing::AssertionResult Change(const PortInput& input, bool confirm, Model& m, std::string& outcome) {
        if (auto r = PutNewPort(input.typed); !r) return r;
        m.newPortText = input.typed;
        if (auto r = Press(kChangeButton); !r) return r;
        const std::wstring text = Trimmed(input.typed);
        if (!input.accepted) {
            outcome = "change refused";
            return AnswerBox(kPortRefused, kWarningBox, IDOK);
        }
        if (text == m.lastApplied) {
            outcome = "change to the last confirmed text: nothing";
            return testing::AssertionSuccess();
        }
        if (const std::optional<std::wstring> warning = LockoutWarning(input.value, m)) {
            if (auto r = AnswerBox(*warning + kGuardTail, kLockoutWarningBox, IDOK); !r) return r << " (lockout warning)";
        }
        const std::optional<MessageBoxView> question = NextBox();
        if (!question) return testing::AssertionFailure() << "no confirmation for " << Quoted(text);
        if (auto r = BoxIs(*question, Main(), ChangeQuestion(m.originalPort, text), kConfirmationBox); !r) return r;
        if (auto r = RegistryHolds(m); !r) return r << " (written before the answer)";
        if (auto r = Answer(*question, confirm ? IDOK : IDCANCEL); !r) return r;
        if (!confirm) {
            outcome = "change cancelled";
            return testing::AssertionSuccess();
        }
        outcome = "change confirmed";
        m.lastApplied = text;
        m.port = input.value;
        const std::optional<MessageBoxView> done = NextBox();
        if (!done) return testing::AssertionFailure() << "no message after confirming " << Quoted(text);
        if (auto r = BoxIs(*done, Main(), kPortChanged, kInformationBox); !r) return r;
        if (auto r = RegistryHolds(m); !r) return r << " (after the success message)";
        if (auto r = Answer(*done, IDOK); !r) return r;
        m.Refresh();
        return testing::AssertionSuccess();
    }

    // 撤销修改: writes the port read at start back, without asking; the guard's warning comes first,
    // as before any port change.
    testing::AssertionResult Revert(DWORD originalValue, Model& m, std::string& outcome) {
        if (auto r = Press(kRevertButton); !r) return r;
        outcome = "revert";
        if (const std::optional<std::wstring> warning = LockoutWarning(originalValue, m)) {
            if (auto r = AnswerBox(*warning + kGuardTail, kLockoutWarningBox, IDOK); !r) return r << " (lockout warning)";
        }
        m.port = originalValue;
        const std::optional<MessageBoxView> done = NextBox();
        if (!done) return testing::AssertionFailure() << "no message after the revert";
        if (auto r = BoxIs(*done, Main(), kRestored + m.originalPort, kInformationBox); !r) return r;
        if (auto r = RegistryHolds(m); !r) return r << " (after the revert message)";
        if (auto r = Answer(*done, IDOK); !r) return r;
        m.Refresh();
        return testing::AssertionSuccess();
    }

    // 开启远程 (allow) or 关闭远程 (refuse). Only the visible one can be pressed; when the wanted one is
    // hidden, the user finds nothing to press.
    testing::AssertionResult Switch(bool allow, bool confirm, Model& m, std::string& outcome) {
        const std::wstring caption = allow ? kOpenButton : kCloseButton;
        const std::string name = allow ? "on" : "off";
        if (m.shownEnabled == allow) {
            outcome = name + " not offered";
            HWND button = Button(caption);
            if (!button) return testing::AssertionFailure() << "no button " << Quoted(caption);
            if (IsWindowVisible(button))
                return testing::AssertionFailure()
                       << Quoted(caption) << " is visible while the window shows " << (m.shownEnabled ? "on" : "off");
            return testing::AssertionSuccess();
        }
        if (auto r = Press(caption); !r) return r;
        const std::optional<MessageBoxView> question = NextBox();
        if (!question) return testing::AssertionFailure() << "no question after " << Quoted(caption);
        if (auto r = BoxIs(*question, Main(), allow ? kTurnOnQuestion : kTurnOffQuestion,
                           allow ? kPlainConfirmationBox : kConfirmationBox);
            !r)
            return r;
        if (auto r = RegistryHolds(m); !r) return r << " (written before the answer)";
        if (auto r = Answer(*question, confirm ? IDOK : IDCANCEL); !r) return r;
        if (!confirm) {
            outcome = name + " cancelled";
            return testing::AssertionSuccess();
        }
        outcome = name + " confirmed";
        m.deny = allow ? 0 : 1;
        if (auto r = AnswerBox(kDone, kInformationBox, IDOK); !r) return r;
        m.Refresh();
        return testing::AssertionSuccess();
    }
};

TEST_F(E2EReliability, StartAndQuitFiftyTimes) {
    constexpr int kCycles = 50;
    const auto started = std::chrono::steady_clock::now();
    int completed = 0;
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        // Each cycle seeds other values, so a window that shows the previous run's state is caught.
        const DWORD deny = static_cast<DWORD>(cycle % 2);
        const DWORD port = 3389 + static_cast<DWORD>(cycle);
        ASSERT_TRUE(Seed(deny, port)) << "cycle " << cycle;
        const testing::AssertionResult cycleResult = StartReadAndQuit(deny, port);
        ASSERT_TRUE(cycleResult) << "cycle " << cycle << " of " << kCycles << " failed after " << completed
                                 << " clean cycles";
        ++completed;
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count() /
        1000.0;
    std::cout << "[ reliability ] " << completed << " of " << kCycles << " start-and-quit cycles clean in " << seconds
              << " s\n";
    EXPECT_EQ(completed, kCycles);
}

TEST_F(E2EReliability, TwoHundredRandomCommands) {
    constexpr std::uint32_t kSeed = 20240611;
    constexpr int kActions = 200;
    constexpr int kWarmUpActions = 10;
    constexpr DWORD kResourceSlack = 8;
    std::cout << "[ reliability ] random seed " << kSeed << ", " << kActions << " actions\n";
    RecordProperty("random_seed", static_cast<int>(kSeed));
    // mt19937 draws the same numbers with every standard library; the distributions might not, so the
    // picks below use plain remainders.
    std::mt19937 random(kSeed);
    const auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(random() % n); };

    Model m;
    m.deny = pick(2);
    m.port = 1025 + pick(64510);
    const DWORD originalValue = m.port;
    m.originalPort = std::to_wstring(m.port);
    m.Refresh();
    ASSERT_TRUE(Seed(m.deny, m.port));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(Agrees(m)) << "at start";

    const auto started = std::chrono::steady_clock::now();
    std::map<std::string, int> outcomes;
    std::deque<std::string> recent;  // the last few actions, for the failure message
    std::optional<ResourceCounts> early;
    std::optional<PortInput> lastConfirmed;  // typed again now and then: the repeated text does nothing
    int outsideWrites = 0;
    for (int action = 1; action <= kActions; ++action) {
        // Now and then another program changes the settings while the window is open: the window then
        // shows stale values until the next command that writes, which tells a missing refresh and a
        // refresh where none belongs apart from the right behaviour.
        if (pick(8) == 0) {
            std::string written;
            if (pick(2) == 0) {
                m.port = 1025 + pick(64510);
                ASSERT_EQ(WriteDword(kRdpTcp, kPortValue, m.port), ERROR_SUCCESS);
                ASSERT_EQ(WriteDword(kRdpwdTcp, kPortValue, m.port), ERROR_SUCCESS);
                written = "port " + std::to_string(m.port);
            } else {
                m.deny = pick(3);  // 2 is no refusal either
                ASSERT_EQ(WriteDword(kTerminalServer, kDenyValue, m.deny), ERROR_SUCCESS);
                written = "deny flag " + std::to_string(m.deny);
            }
            ++outsideWrites;
            recent.push_back("another program writes " + written);
        }
        const std::uint32_t kind = pick(100);
        const bool confirm = pick(2) == 0;
        std::string what;
        std::string outcome;
        testing::AssertionResult done = testing::AssertionSuccess();
        if (kind < 45) {
            const std::uint32_t source = pick(100);
            PortInput input;
            if (source < 25 && lastConfirmed) {
                input = *lastConfirmed;
            } else if (source < 60) {
                const DWORD port = 1025 + pick(64510);
                input = {std::to_wstring(port), true, port};
            } else {
                input = kListedInputs[pick(static_cast<std::uint32_t>(kListedInputs.size()))];
            }
            what = "change " + Quoted(input.typed) + (confirm ? " (OK)" : " (Cancel)");
            done = Change(input, confirm, m, outcome);
            if (outcome == "change confirmed") lastConfirmed = input;
        } else if (kind < 60) {
            what = "revert";
            done = Revert(originalValue, m, outcome);
        } else {
            const bool allow = kind < 80;
            what = std::string(allow ? "on" : "off") + (confirm ? " (OK)" : " (Cancel)");
            done = Switch(allow, confirm, m, outcome);
        }
        recent.push_back("#" + std::to_string(action) + " " + what + " -> " + outcome);
        while (recent.size() > 8) recent.pop_front();
        std::string history;
        for (const std::string& line : recent) history += "\n  " + line;
        ASSERT_TRUE(done) << "action " << action << " of " << kActions << " (seed " << kSeed
                          << "), last actions:" << history;
        ASSERT_TRUE(Agrees(m)) << "after action " << action << " of " << kActions << " (seed " << kSeed
                               << "), last actions:" << history;
        ++outcomes[outcome];
        if (action == kWarmUpActions) {
            early = CountResources(ProcessId());
            ASSERT_TRUE(early) << "cannot query the program's resources";
        }
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count() /
        1000.0;
    std::cout << "[ reliability ] " << kActions << " actions and " << outsideWrites << " writes by another program in "
              << seconds << " s:";
    for (const auto& [outcome, count] : outcomes) std::cout << "\n    " << outcome << ": " << count;
    std::cout << "\n";

    // The run must have gone down every path at least once, or it proved less than it claims.
    for (const char* path : {"change refused", "change to the last confirmed text: nothing", "change cancelled",
                             "change confirmed", "revert", "on confirmed", "on cancelled", "on not offered",
                             "off confirmed", "off cancelled", "off not offered"})
        EXPECT_GT(outcomes[path], 0) << "the random run never took the path \"" << path << "\"";
    EXPECT_GT(outsideWrites, 0) << "another program never wrote the registry during the run";

    const std::optional<ResourceCounts> late = CountResources(ProcessId());
    ASSERT_TRUE(late) << "cannot query the program's resources";
    std::cout << "[ reliability ] after " << kWarmUpActions << " actions: " << early->Describe() << "; after "
              << kActions << ": " << late->Describe() << "\n";
    struct Counter {
        const char* name;
        ResourceCount early;
        ResourceCount late;
    };
    for (const Counter& c :
         {Counter{"GDI objects", early->gdiObjects, late->gdiObjects},
          Counter{"USER objects", early->userObjects, late->userObjects},
          Counter{"handles", early->handles, late->handles}, Counter{"windows", early->windows, late->windows}}) {
        if (!c.early.Reported() || !c.late.Reported()) {
            std::cout << "[ reliability ] " << c.name << " are not reported on this platform: not checked\n";
            continue;
        }
        EXPECT_LE(c.late.value, c.early.value + kResourceSlack)
            << c.name << " (" << c.late.source << ") grew from " << c.early.value << " to " << c.late.value << " over "
            << kActions - kWarmUpActions << " actions";
    }
}

}  // namespace
