// The machine-wide write lock: a writer that cannot have it within its wait writes nothing and says
// so, in the window and in rdpport.com; an abandoned lock counts as had.

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <thread>

#include "settings/WriteLock.h"
#include "support/ConsoleKit.h"
#include "support/FormProbes.h"
#include "support/RegistryKit.h"
#include "support/RegistryRecorder.h"
#include "support/Seams.h"
#include "support/SeededTest.h"

namespace {

using namespace testkit;

// A mutex of the lock's name made with the security descriptor given (SDDL).
HANDLE CreateLock(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    HANDLE mutex = CreateMutexW(&attributes, FALSE, settings::kWriteLockName);
    LocalFree(descriptor);
    return mutex;
}

// Holds the lock from another thread (a mutex is re-entrant for the thread that owns it) until the
// object ends; `abandon` ends the thread while it still owns the lock.
class OtherHolder {
public:
    explicit OtherHolder(bool abandon = false) {
        m_release.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        base::UniqueKernelHandle held(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        m_thread = std::thread([this, abandon, heldEvent = held.Get()] {
            HANDLE mutex = CreateLock(settings::kWriteLockSecurity);
            WaitForSingleObject(mutex, INFINITE);
            SetEvent(heldEvent);
            if (!abandon) {
                WaitForSingleObject(m_release.Get(), 10000);
                ReleaseMutex(mutex);
            }
            CloseHandle(mutex);
        });
        WaitForSingleObject(held.Get(), 10000);
        if (abandon) m_thread.join();
    }
    ~OtherHolder() {
        SetEvent(m_release.Get());
        if (m_thread.joinable()) m_thread.join();
    }

private:
    base::UniqueKernelHandle m_release;
    std::thread m_thread;
};

class WriteLockTest : public SeededTest {
protected:
    void SetUp() override {
        SeededTest::SetUp();
        settings::WriteLockWaitMs() = 1000;
    }
    void TearDown() override {
        settings::WriteLockWaitMs() = settings::kWriteLockWaitMs;
        SeededTest::TearDown();
    }
};

const std::wstring kBusy = L"另一个修改（rdpport.exe 或 rdpport.com）正在进行，等待 1 秒后仍未结束";

TEST_F(WriteLockTest, TheConsoleWaitsBoundedThenFailsWritingNothing) {
    {
        OtherHolder other;
        const DWORD started = GetTickCount();
        const ConsoleRun run = RunConsole({L"set-port", L"3390", L"--json"});
        const DWORD waited = GetTickCount() - started;
        EXPECT_EQ(run.exitCode, 1);
        const std::optional<JsonValue> json = run.Json();
        ASSERT_TRUE(json);
        EXPECT_EQ((*json)["error"]["text"].text, kBusy + L"；未作任何修改。");
        EXPECT_FALSE((*json)["changed"].boolean);
        EXPECT_GE(waited, 900u);
        EXPECT_LT(waited, 5000u);
        EXPECT_EQ(Port1(), 3389u);
        EXPECT_EQ(Port2(), 3389u);
        // Reading needs no lock, and neither does a change that only reports (--what-if).
        EXPECT_EQ(RunConsole({L"status", L"--json"}).exitCode, 0);
        EXPECT_EQ(RunConsole({L"set-port", L"3390", L"--what-if"}).exitCode, 0);
    }
    EXPECT_EQ(RunConsole({L"set-port", L"3390"}).exitCode, 0) << "free again";
    EXPECT_EQ(Port2(), 3390u);
}

TEST_F(WriteLockTest, NlaWaitsForTheLockTooAndWritesNothingWithoutIt) {
    const RemoteDesktopSnapshot before;  // puts the NLA value back
    WriteDword(kRdpTcp, kNlaValue, 0);
    {
        OtherHolder other;
        const ConsoleRun run = RunConsole({L"nla", L"on", L"--json"});
        EXPECT_EQ(run.exitCode, 1);
        const std::optional<JsonValue> json = run.Json();
        ASSERT_TRUE(json);
        EXPECT_EQ((*json)["error"]["text"].text, kBusy + L"；未作任何修改。");
        EXPECT_EQ(ReadDword(kRdpTcp, kNlaValue), 0u);
    }
    EXPECT_EQ(RunConsole({L"nla", L"on"}).exitCode, 0) << "free again";
    EXPECT_EQ(ReadDword(kRdpTcp, kNlaValue), 1u);
}

// Any user may create an object of the lock's name first and hold it: one not owned by Administrators
// or SYSTEM is refused (the writer writes nothing and says why), one made as the program makes it is
// waited on like any other writer's.
TEST_F(WriteLockTest, ALockSomebodyElseMadeIsRefusedAndNeverWaitedOn) {
    struct Case {
        const char* name;
        const wchar_t* sddl;
        DWORD error;  // of Acquire while the object exists
    };
    const Case cases[] = {
        {"a user's own object, open to everyone", L"O:S-1-5-21-1004336348-1177238915-682003330-1013D:(A;;GA;;;WD)",
         settings::kWriteLockSquatted},
        {"Everyone as its owner", L"O:WDD:(A;;GA;;;WD)", settings::kWriteLockSquatted},
        {"made by SYSTEM as the program makes it", L"O:SYD:P(A;;GA;;;SY)(A;;GA;;;BA)", ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        const base::UniqueKernelHandle squatter(CreateLock(c.sddl));
        ASSERT_TRUE(squatter) << c.name << ": " << GetLastError();
        const settings::WriteLock lock = settings::WriteLock::Acquire();
        EXPECT_EQ(lock.Held(), c.error == ERROR_SUCCESS) << c.name;
        EXPECT_EQ(lock.Error(), c.error) << c.name;
    }
    const base::UniqueKernelHandle squatter(CreateLock(cases[0].sddl));
    const ConsoleRun run = RunConsole({L"set-port", L"3390", L"--json"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(JsonOf(run)["error"]["text"].text,
              L"修改锁（Global\\Korvane.RdpPort.Write）已被一个不属于管理员的对象占用，可能有人在阻挠修改；"
              L"请重新启动计算机后再试；未作任何修改。");
    EXPECT_EQ(Port1(), 3389u);
}

// What the checks were made on is read again under the lock: another writer's change in between stops
// the command with nothing written, and its value stays.
TEST_F(WriteLockTest, AValueChangedBetweenTheChecksAndTheLockStopsTheWrite) {
    const RemoteDesktopSnapshot before;
    struct Case {
        std::vector<std::wstring> args;
        void (*meanwhile)();
        DWORD (*read)();
        DWORD left;  // what the other writer wrote, still there
    };
    const Case cases[] = {
        {{L"set-port", L"3390"}, [] { WriteDword(kRdpTcp, kPortValue, 3391); }, [] { return *Port1(); }, 3391},
        {{L"set-port", L"3390"}, [] { WriteDword(kRdpwdTcp, kPortValue, 3391); }, [] { return *Port2(); }, 3391},
        {{L"enable"}, [] { WriteDword(kTerminalServer, kDenyValue, 2); }, [] { return *Deny(); }, 2},
        {{L"nla", L"on"}, [] { WriteDword(kRdpTcp, kNlaValue, 7); }, [] { return *ReadDword(kRdpTcp, kNlaValue); }, 7},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(SeedRemoteDesktop(3389, 1), ERROR_SUCCESS);
        WriteDword(kRdpTcp, kNlaValue, 0);
        FakeGuard guard;
        guard.whileChecking = c.meanwhile;
        std::vector<std::wstring> args = c.args;
        args.push_back(L"--json");
        const ConsoleRun run = RunConsole(args);
        EXPECT_EQ(run.exitCode, 1) << testing::PrintToString(c.args);
        EXPECT_EQ(JsonOf(run)["error"]["text"].text, L"检查之后，设置已被另一个修改改变；未作任何修改，请重新运行。");
        EXPECT_EQ(c.read(), c.left) << testing::PrintToString(c.args);
    }
}

TEST_F(WriteLockTest, AnAbandonedLockIsHadByTheNextWriter) {
    OtherHolder abandoned(/*abandon=*/true);
    const settings::WriteLock lock = settings::WriteLock::Acquire();
    EXPECT_TRUE(lock.Held());
}

TEST_F(WriteLockTest, TheWindowSaysSoAndChangesNothingWhileAnotherWriterHoldsIt) {
    StartMain();
    MessageBoxScript& boxes = Script();
    ui::FormMain& form = Form();
    {
        OtherHolder other;
        form.Ctl(ui::Text_NewPort).SetText(L"3390");
        form.Cmd_Change_Click();
        ASSERT_EQ(boxes.Shown().size(), 2u);
        EXPECT_EQ(boxes.Shown()[1].text, kBusy + L"。未作任何修改。");
        EXPECT_EQ(boxes.Shown()[1].style, 48u);
        EXPECT_EQ(Port1(), 3389u);
        EXPECT_EQ(ui::FormMainProbe::LastAppliedPort(), L"") << "not applied";

        boxes.Reset();
        form.Cmd_Open_Click();
        EXPECT_EQ(boxes.Texts(), (std::vector<std::wstring>{L"确定要打开远程连接吗？", kBusy + L"。未作任何修改。"}));
        EXPECT_EQ(Deny(), 1u);
    }
    boxes.Reset();
    form.Cmd_Change_Click();
    EXPECT_EQ(boxes.Texts().back(), L"端口修改成功，您需要重新启动服务器才能生效。");
    EXPECT_EQ(Port1(), 3390u);
}

}  // namespace
