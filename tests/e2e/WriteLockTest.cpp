// Writes that cannot interleave, with real rdpport.com processes: two set-port runs released at the same
// moment leave both port keys agreeing, and a writer that cannot have the lock within its wait fails
// writing nothing. The driver holds the program's lock itself (the same named mutex) to make them meet.

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <thread>

#include "driver/ConsoleProgram.h"
#include "driver/ProgramCase.h"
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

TEST_F(E2EWriteLock, TwoSetPortRunsReleasedTogetherLeaveBothKeysAgreeing) {
    for (int round = 0; round < 3; ++round) {
        HeldWriteLock lock;
        ASSERT_TRUE(lock.Held());
        ConsoleOutcome first;
        ConsoleOutcome second;
        std::thread a([&] { first = RunConsoleProgram({L"set-port", L"26001", L"--force"}); });
        std::thread b([&] { second = RunConsoleProgram({L"set-port", L"26002", L"--force"}); });
        Sleep(1500);  // both are started and waiting on the lock by now
        lock.Release();
        a.join();
        b.join();
        EXPECT_EQ(first.exitCode, std::optional<DWORD>(0)) << first.err;
        EXPECT_EQ(second.exitCode, std::optional<DWORD>(0)) << second.err;
        const std::optional<DWORD> rdpTcp = ReadDword(kRdpTcp, "PortNumber");
        EXPECT_TRUE(rdpTcp == 26001u || rdpTcp == 26002u);
        EXPECT_EQ(ReadDword(kRdpwdTcp, "PortNumber"), rdpTcp) << "round " << round;
        ASSERT_EQ(SeedRemoteDesktop(3389, 1), ERROR_SUCCESS);
    }
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
