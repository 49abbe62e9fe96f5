// rdpport.com without arguments: it starts rdpport.exe from its own folder and ends at once, leaving
// the window running on its own.

#include <gtest/gtest.h>

#include "driver/ConsoleProgram.h"
#include "driver/ProgramCase.h"
#include "driver/Wait.h"
#include "support/RegistryKit.h"

namespace {

using namespace e2e;
using namespace testkit;

// Ends the window's process however the case ends.
class WindowProcess {
public:
    ~WindowProcess() {
        if (!m_process) return;
        TerminateProcess(m_process, 1);
        WaitForSingleObject(m_process, 5000);
        CloseHandle(m_process);
    }
    void Adopt(HWND window) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        m_process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    }
    bool Running() const { return m_process && WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT; }

private:
    HANDLE m_process = nullptr;
};

TEST(E2EConsoleWindow, NoArgumentsStartsTheWindowAndReturnsAtOnce) {
    ASSERT_EQ(SeedRemoteDesktop(3389, 1), ERROR_SUCCESS);
    ASSERT_EQ(FindWindowW(kMainClass, kMainCaption), nullptr) << "a main window was open before the case";
    WindowProcess window;
    const ConsoleOutcome outcome = RunConsoleProgram({}, std::chrono::seconds(15));
    ASSERT_EQ(outcome.exitCode, std::optional<DWORD>(0)) << outcome.err;
    EXPECT_EQ(outcome.out + outcome.err, "");

    HWND main = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (main = FindWindowW(kMainClass, kMainCaption)) != nullptr; }, kStartTimeout))
        << "rdpport.exe's main window did not appear";
    if (!main) return;
    window.Adopt(main);
    EXPECT_TRUE(window.Running()) << "the window's process ended with the console program";
}

}  // namespace
