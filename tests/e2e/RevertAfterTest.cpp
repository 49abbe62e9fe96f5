// rdpport.com set-port --revert-after end to end, with the stand-in as TermService and a network
// namespace as the administrator's machine: the revert armed before the write (the program's copy, the
// record, the task in Wine's Task Scheduler); a connection from the other machine or from the server
// itself confirms nothing (only the administrator's session, which Wine never has, or confirm does);
// reverted at the deadline with the service back on the old port, superseded by a later change,
// cancelled by confirm while it waits, and nothing written when it cannot be armed.
//
// Wine's Task Scheduler keeps the task but neither its triggers nor its action, and never runs it: the
// cases run the task's command line themselves, as the scheduler would, built from the record the
// program keeps next to the task (rdpport.com's status reads it from there when the task gives no
// action back).

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>

#include "ConsoleCase.h"
#include "RevertTask.h"
#include "driver/ProgramProcess.h"
#include "driver/RemotePeer.h"
#include "support/PortListener.h"
#include "support/RegistryKit.h"
#include "support/StandInRemoteDesktop.h"

namespace {

using namespace e2e;
using namespace testkit;
using namespace std::chrono_literals;


std::string Bytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class E2ERevertAfter : public E2EConsoleCase {
protected:
    void SetUp() override {
        E2EConsoleCase::SetUp();
        ClearRevert();
    }
    void TearDown() override {
        ClearRevert();
        E2EConsoleCase::TearDown();
    }
    static testkit::JsonValue Pending() { return Json(Run({L"status", L"--json"}, 0))["pendingRevert"]; }

    static bool ListensOn(std::uint16_t port) { return LoopbackConnection(port).Connected(); }
};

TEST_F(E2ERevertAfter, ArmedBeforeTheWriteAndAConnectionFromAnotherMachineConfirmsNothing) {
    const ScopedStandInRemoteDesktop standIn(StandInProgramPath());
    ASSERT_EQ(standIn.Status(), 0u);
    RemotePeer peer;
    const RemotePeer::State peerState = peer.Up();
    if (peerState == RemotePeer::State::Unavailable) GTEST_SKIP() << "no remote machine here: " << peer.Why();
    ASSERT_EQ(peerState, RemotePeer::State::Up) << peer.Why();

    Armed armed = ArmRunningTheTask({L"set-port", L"3390", L"--apply", L"--revert-after", L"10s", L"--json"});
    ASSERT_EQ(armed.setPort.exitCode, std::optional<DWORD>(0)) << armed.setPort.out;
    const JsonValue set = Json(armed.setPort);
    EXPECT_TRUE(set["applied"].boolean);
    EXPECT_TRUE(set["revert"]["armed"].boolean);
    EXPECT_EQ(set["revert"]["program"].text, kCopy);
    EXPECT_EQ(Bytes(kCopy), Bytes(ConsoleProgramPath())) << "the task would run another program";
    EXPECT_TRUE(FileExists(kTaskFile)) << "no task in Wine's Task Scheduler";
    EXPECT_TRUE(DwordAt(kRecordKey, "From", 3389));
    EXPECT_TRUE(DwordAt(kRecordKey, "To", 3390));
    EXPECT_TRUE(DwordAt(kRecordKey, "RevertAfterSeconds", 10));
    EXPECT_TRUE(DwordAt(kRecordKey, "Apply", 1));
    const JsonValue pending = Pending();
    EXPECT_EQ(pending["from"].number, 3389);
    EXPECT_EQ(pending["to"].number, 3390);
    EXPECT_TRUE(pending["apply"].boolean);
    ASSERT_TRUE(ListensOn(3390));

    // A probe, a monitor or a firewall that completes the handshake reaches the port too.
    ASSERT_TRUE(peer.Connect(3390, 20)) << peer.Why();
    const ConsoleOutcome watch = armed.watch->Finish(40s);
    EXPECT_EQ(watch.exitCode, std::optional<DWORD>(0)) << watch.out;
    const JsonValue json = Json(watch);
    EXPECT_EQ(json["outcome"].text, L"reverted");
    EXPECT_TRUE(json["confirmedBy"].IsNull());
    EXPECT_GE(json["waitedSeconds"].number, 10);
    EXPECT_TRUE(Pending().IsNull());
    EXPECT_FALSE(KeyExists(kRecordKey));
    EXPECT_TRUE(BothPortKeysHold(3389));
    EXPECT_TRUE(ListensOn(3389));
}

TEST_F(E2ERevertAfter, ALoopbackConnectionProvesNothingAndTheDeadlineBringsTheOldPortBack) {
    const ScopedStandInRemoteDesktop standIn(StandInProgramPath());
    ASSERT_EQ(standIn.Status(), 0u);
    Armed armed = ArmRunningTheTask({L"set-port", L"3390", L"--apply", L"--revert-after", L"10s", L"--json"});
    ASSERT_EQ(armed.setPort.exitCode, std::optional<DWORD>(0)) << armed.setPort.out;
    const LoopbackConnection fromItself(3390);
    ASSERT_TRUE(fromItself.Connected());

    const ConsoleOutcome watch = armed.watch->Finish(40s);
    EXPECT_EQ(watch.exitCode, std::optional<DWORD>(0)) << watch.out;
    const JsonValue json = Json(watch);
    EXPECT_EQ(json["outcome"].text, L"reverted");
    EXPECT_GE(json["waitedSeconds"].number, 10);
    EXPECT_TRUE(json["applied"].boolean);
    EXPECT_TRUE(BothPortKeysHold(3389));
    EXPECT_TRUE(ListensOn(3389)) << "the service is not back on the old port";
    EXPECT_FALSE(ListensOn(3390));
    EXPECT_TRUE(Pending().IsNull());
    EXPECT_FALSE(KeyExists(kRecordKey));
}

TEST_F(E2ERevertAfter, AChangeMadeMeanwhileSupersedesTheRevertAndNothingIsWritten) {
    const ScopedStandInRemoteDesktop standIn(StandInProgramPath());
    ASSERT_EQ(standIn.Status(), 0u);
    Armed armed = ArmRunningTheTask({L"set-port", L"3390", L"--apply", L"--revert-after", L"10s", L"--json"});
    ASSERT_EQ(armed.setPort.exitCode, std::optional<DWORD>(0)) << armed.setPort.out;
    for (int i = 0; i < 100 && !ReadRaw(kRecordKey, "EffectiveAt"); ++i) Sleep(100);
    ASSERT_TRUE(ReadRaw(kRecordKey, "EffectiveAt")) << "the watch never saw the new port in effect";
    Run({L"set-port", L"3391"}, 0);
    const ConsoleOutcome watch = armed.watch->Finish(40s);
    EXPECT_EQ(watch.exitCode, std::optional<DWORD>(0)) << watch.out;
    EXPECT_EQ(Json(watch)["outcome"].text, L"superseded");
    EXPECT_TRUE(BothPortKeysHold(3391));
    EXPECT_TRUE(Pending().IsNull());
}

TEST_F(E2ERevertAfter, ConfirmCancelsAWatchThatIsWaiting) {
    Armed armed = ArmRunningTheTask({L"set-port", L"3390", L"--revert-after", L"20s", L"--json"});
    ASSERT_EQ(armed.setPort.exitCode, std::optional<DWORD>(0)) << armed.setPort.out;
    ConsoleChild& watch = *armed.watch;
    const JsonValue confirmed = Json(Run({L"confirm", L"--json"}, 0));
    EXPECT_TRUE(confirmed["confirmed"].boolean);
    EXPECT_EQ(confirmed["pendingRevert"]["to"].number, 3390);
    const ConsoleOutcome outcome = watch.Finish(30s);
    EXPECT_EQ(outcome.exitCode, std::optional<DWORD>(0)) << outcome.out;
    const JsonValue json = Json(outcome);
    EXPECT_EQ(json["outcome"].text, L"cancelled");
    EXPECT_LT(json["waitedSeconds"].number, 20);
    EXPECT_TRUE(BothPortKeysHold(3390));
    EXPECT_FALSE(Json(Run({L"confirm", L"--json"}, 0))["confirmed"].boolean) << "nothing is pending any more";
}

// A file where a folder must go makes that step fail: the program's folder, or the task's folder in
// Wine's Task Scheduler. A volatile key of the program's own makes the record fail.
class BlockingFile {
public:
    explicit BlockingFile(const wchar_t* path) : m_path(path) {
        RemoveFolder(path);
        const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        m_made = file != INVALID_HANDLE_VALUE;
        if (m_made) CloseHandle(file);
    }
    ~BlockingFile() { DeleteFileW(m_path); }
    bool Made() const { return m_made; }

private:
    static void RemoveFolder(const wchar_t* path) {
        WIN32_FIND_DATAW found;
        const std::wstring folder = path;
        const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileW((folder + L"\\" + found.cFileName).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path);
    }
    const wchar_t* m_path;
    bool m_made = false;
};

TEST_F(E2ERevertAfter, NothingIsWrittenWhenTheRevertCannotBeArmed) {
    const ScopedStandInRemoteDesktop standIn(StandInProgramPath());
    ASSERT_EQ(standIn.Status(), 0u);
    const std::pair<const char*, const wchar_t*> blocked[] = {{"the copy", kProgramFolder},
                                                              {"the task", kTaskFolderFile}};
    for (const auto& [name, path] : blocked) {
        SCOPED_TRACE(name);
        const BlockingFile block(path);
        ASSERT_TRUE(block.Made());
        const JsonValue json = Json(Run({L"set-port", L"3390", L"--apply", L"--revert-after", L"10m", L"--json"}, 1));
        EXPECT_FALSE(json["revert"]["armed"].boolean);
        EXPECT_NE(json["error"]["text"].text.find(L"未作任何修改"), std::wstring::npos);
        EXPECT_TRUE(BothPortKeysHold(3389));
        EXPECT_FALSE(KeyExists(kRecordKey)) << "the record was left behind";
        EXPECT_TRUE(ListensOn(3389)) << "the service was restarted";
    }
    {
        SCOPED_TRACE("the record");
        // The program's key made volatile: no key that lasts can be made below it.
        const ScopedVolatileKey volatileParent(kVendorKey);
        ASSERT_EQ(volatileParent.Status(), ERROR_SUCCESS);
        const JsonValue json = Json(Run({L"set-port", L"3390", L"--apply", L"--revert-after", L"10m", L"--json"}, 1));
        EXPECT_EQ(json["error"]["code"].number, ERROR_CHILD_MUST_BE_VOLATILE);
        EXPECT_TRUE(BothPortKeysHold(3389));
        EXPECT_FALSE(FileExists(kTaskFile)) << "a task was registered";
    }
    EXPECT_TRUE(Pending().IsNull());
}

// Started from a folder everyone may write to (/tmp), the program could have been swapped for another:
// it is not made what SYSTEM runs.
TEST_F(E2ERevertAfter, AProgramFromAFolderOthersMayChangeArmsNothing) {
    const std::wstring copy = L"Z:\\tmp\\rdpport-e2e-" + std::to_wstring(GetCurrentProcessId()) + L".com";
    ASSERT_TRUE(CopyFileW(ConsoleProgramPath().c_str(), copy.c_str(), FALSE)) << GetLastError();
    const ConsoleOutcome run =
        ConsoleChild(copy, {L"set-port", L"3390", L"--revert-after", L"10m", L"--json"}).Finish(40s);
    DeleteFileW(copy.c_str());
    EXPECT_EQ(run.exitCode, std::optional<DWORD>(1)) << run.out;
    const JsonValue json = Json(run);
    EXPECT_NE(json["error"]["text"].text.find(L"rdpport.com 所在的文件夹允许 S-1-1-0 修改"), std::wstring::npos)
        << run.out;
    EXPECT_TRUE(BothPortKeysHold(3389));
    EXPECT_FALSE(KeyExists(kRecordKey));
    EXPECT_FALSE(FileExists(kTaskFile));
}

TEST_F(E2ERevertAfter, NothingIsWrittenWhenTheServiceCannotBeRestarted) {
    const ScopedMissingRemoteDesktop noService;
    ASSERT_EQ(noService.Status(), 0u);
    const JsonValue json = Json(Run({L"set-port", L"3390", L"--apply", L"--revert-after", L"10m", L"--json"}, 1));
    EXPECT_EQ(json["error"]["code"].number, ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_FALSE(json["revert"]["armed"].boolean);
    EXPECT_TRUE(BothPortKeysHold(3389));
    EXPECT_FALSE(KeyExists(kRecordKey));
    EXPECT_FALSE(FileExists(kTaskFile));
}

}  // namespace
