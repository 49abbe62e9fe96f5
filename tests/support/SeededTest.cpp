#include "support/SeededTest.h"

#include "support/FormProbes.h"
#include "support/RegistryKit.h"

namespace testkit {

void SeededTest::SetUp() {
    ResetWindows();
    ASSERT_EQ(SeedRemoteDesktop(3389, 1), ERROR_SUCCESS);
}

void SeededTest::TearDown() {
    ResetWindows();
    EXPECT_EQ(SeedRemoteDesktop(3389, 1), ERROR_SUCCESS);
}

void SeededTest::StartMain(DWORD deny) {
    ResetWindows();
    ASSERT_EQ(SeedRemoteDesktop(3389, deny), ERROR_SUCCESS);
    LoadMainAsAtStartup();
    Script().Reset();
}

std::optional<DWORD> SeededTest::Port1() { return ReadDword(kRdpTcp, kPortValue); }
std::optional<DWORD> SeededTest::Port2() { return ReadDword(kRdpwdTcp, kPortValue); }
std::optional<DWORD> SeededTest::Deny() { return ReadDword(kTerminalServer, kDenyValue); }

}  // namespace testkit
