// Who else may change what SYSTEM will run: read from security descriptors as Windows writes them.

#include <gtest/gtest.h>
#include <windows.h>

#include "revert/Permissions.h"

namespace {

TEST(Permissions, OnlySystemAdministratorsTrustedInstallerAndTheUserMayChangeWhatSystemRuns) {
    const wchar_t* kTrustedInstaller = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    const std::wstring trusted = std::wstring(L"D:(A;;FA;;;") + kTrustedInstaller + L")";
    struct Case {
        std::wstring sddl;
        std::wstring who;  // empty: nobody else
    };
    const Case cases[] = {
        {L"D:P(A;;FA;;;SY)(A;;FA;;;BA)", L""},
        {trusted, L""},
        {L"D:(A;;0x1200a9;;;WD)(A;;FA;;;SY)", L""},                     // everyone reads and runs it
        {L"D:(A;;0x1301bf;;;AU)", L"S-1-5-11"},                         // authenticated users may modify
        {L"D:(A;OICIIO;FA;;;CO)(A;;FA;;;SY)", L""},                     // only what they create later
        {L"D:(A;;0x100116;;;BU)", L"S-1-5-32-545"},                     // users may add files and delete
        {L"D:(A;;WD;;;S-1-5-21-1-2-3-1013)", L"S-1-5-21-1-2-3-1013"},  // a user may change its permissions
        {L"D:(D;;FA;;;WD)(A;;FA;;;BA)", L""},                           // denials take nothing away here
        {L"O:BA", L"S-1-1-0"},                                          // no DACL: everyone may
        {L"not a descriptor", L"?"},
    };
    for (const Case& c : cases) EXPECT_EQ(revert::OthersWhoMayChange(c.sddl.c_str()), c.who) << testing::PrintToString(c.sddl);
    // Running counts only where it is asked to (a task, not a folder one passes through).
    EXPECT_EQ(revert::OthersWhoMayChange(L"D:(A;;FX;;;AU)"), L"");
    EXPECT_EQ(revert::OthersWhoMayChange(L"D:(A;;FX;;;AU)", nullptr, FILE_EXECUTE), L"S-1-5-11");
}

}  // namespace
