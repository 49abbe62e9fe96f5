// Writes that cannot interleave, with real rdpport.com processes: a set-port run started while another is
// held between its two port writes waits for it, and a writer that cannot have the lock within its wait fails
// writing nothing (the driver holds the program's lock itself, the same named mutex).

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "driver/ConsoleProgram.h"
#include "driver/ProgramCase.h"
#include "driver/Wait.h"
#include "support/RegistryKit.h"

namespace {

using namespace e2e;
using namespace testkit;

// The lock both programs take around their writes (src/settings/WriteLock.h), written out here: its
// name, and the security it is made with (a lock made otherwise is refused as squatted).
constexpr const wchar_t* kWriteLockName = L"Global\\Korvane.RdpPort.Write";
constexpr const wchar_t* kWriteLockSecurity = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

HANDLE CreateWriteLock() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kWriteLockSecurity, SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    HANDLE mutex = CreateMutexW(&attributes, TRUE, kWriteLockName);
    LocalFree(descriptor);
    return mutex;
}

class HeldWriteLock {
public:
    HeldWriteLock() : m_mutex(CreateWriteLock()) {}
    ~HeldWriteLock() {
        Release();
        if (m_mutex) CloseHandle(m_mutex);
    }
    HeldWriteLock(const HeldWriteLock&) = delete;
    HeldWriteLock& operator=(const HeldWriteLock&) = delete;
    bool Held() const { return m_mutex != nullptr && !m_released; }
    void Release() {
        if (m_mutex && !m_released) ReleaseMutex(m_mutex);
        m_released = true;
    }

private:
    HANDLE m_mutex;
    bool m_released = false;
};

class E2EWriteLock : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(ConsoleProgramPath().empty()) << "RDPPORT_COM is not set";
        ASSERT_EQ(SeedRemoteDesktop(3389, 1), ERROR_SUCCESS);
    }
    RemoteDesktopSnapshot m_snapshot;
};

// The first writer is held between its two port writes, as a debugger would hold it (rdpport.com waits
// there as long as RDPPORT_PAUSE_BETWEEN_PORT_WRITES says), and a second one runs meanwhile. Without the
// lock the second would write both keys in that pause and the first's second write would leave them
// disagreeing; with it the second waits, finds under the lock that the values changed since it read
// them, and writes nothing.
TEST_F(E2EWriteLock, ASecondWriterWaitsWhileTheFirstIsHeldBetweenItsTwoPortWrites) {
    SetEnvironmentVariableW(L"RDPPORT_PAUSE_BETWEEN_PORT_WRITES", L"6000");
    ConsoleChild first(ConsoleProgramPath(), {L"set-port", L"26001", L"--force"});
    SetEnvironmentVariableW(L"RDPPORT_PAUSE_BETWEEN_PORT_WRITES", nullptr);
    ASSERT_TRUE(WaitUntil([] { return ReadDword(kRdpTcp, "PortNumber") == 26001u; }, kStartTimeout));
    EXPECT_EQ(ReadDword(kRdpwdTcp, "PortNumber"), 3389u) << "the first writer pauses before its second key";
    const ConsoleOutcome second = RunConsoleProgram({L"set-port", L"26002", L"--force"});
    const ConsoleOutcome firstOutcome = first.Finish(std::chrono::seconds(30));
    EXPECT_EQ(firstOutcome.exitCode, std::optional<DWORD>(0)) << firstOutcome.err;
    EXPECT_EQ(second.exitCode, std::optional<DWORD>(1)) << second.err;
    EXPECT_NE(second.err.find("检查之后，设置已被另一个修改改变"), std::string::npos) << second.err;
    EXPECT_TRUE(BothPortKeysHold(26001)) << "the keys disagree: the writes interleaved";
}

TEST_F(E2EWriteLock, AWriterThatCannotHaveTheLockInTenSecondsFailsAndWritesNothing) {
    HeldWriteLock lock;
    ASSERT_TRUE(lock.Held());
    const DWORD started = GetTickCount();
    const ConsoleOutcome outcome = RunConsoleProgram({L"set-port", L"3390"});
    const DWORD waited = GetTickCount() - started;
    EXPECT_EQ(outcome.exitCode, std::optional<DWORD>(1));
    EXPECT_NE(outcome.err.find(Utf8(L"等待 10 秒后仍未结束；未作任何修改。")), std::string::npos) << outcome.err;
    EXPECT_GE(waited, 9500u);
    EXPECT_LT(waited, 20000u);
    EXPECT_TRUE(BothPortKeysHold(3389));
}

}  // namespace
