// The event source of the revert's events: its message file is the program's copy under Program Files
// (whose message table makes each event's text its description), rewritten where an earlier version
// left another.

#include <gtest/gtest.h>

#include "revert/EventLog.h"
#include "revert/ProgramCopy.h"
#include "support/RegistryKit.h"

namespace {

using namespace testkit;

constexpr const char* kSource = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Korvane RdpPort";

std::wstring MessageFile() {
    wchar_t text[512] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Korvane RdpPort",
                     L"EventMessageFile", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, text, &size) != ERROR_SUCCESS)
        return L"(none)";
    return text;
}

TEST(EventSource, NamesTheCopyUnderProgramFilesAndRewritesAnotherFile) {
    const std::wstring copy = revert::InstalledProgramPath();
    ASSERT_NE(copy.find(L"\\Korvane RdpPort\\rdpport.com"), std::wstring::npos) << testing::PrintToString(copy);
    for (const bool earlier : {false, true}) {
        DeleteTree(kSource);
        if (earlier) {
            // What an earlier version registered: EventCreate.exe's table, and only error events.
            const wchar_t old[] = L"%SystemRoot%\\System32\\EventCreate.exe";
            const auto* bytes = reinterpret_cast<const BYTE*>(old);
            ASSERT_EQ(WriteRaw(kSource, "EventMessageFile", REG_EXPAND_SZ, std::vector<BYTE>(bytes, bytes + sizeof old)),
                      ERROR_SUCCESS);
            ASSERT_EQ(WriteDword(kSource, "TypesSupported", 1), ERROR_SUCCESS);
        }
        revert::RegisterOwnEventSource();
        EXPECT_EQ(MessageFile(), copy) << (earlier ? "over an earlier source" : "a new source");
        EXPECT_EQ(ReadDword(kSource, "TypesSupported"), 7u);
    }
    DeleteTree(kSource);
}

}  // namespace
