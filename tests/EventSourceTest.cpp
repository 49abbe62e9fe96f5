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
    const std::optional<RawValue> value = ReadRaw(kSource, "EventMessageFile");
    if (!value || value->type != REG_EXPAND_SZ) return L"(none)";
    std::wstring text(reinterpret_cast<const wchar_t*>(value->bytes.data()), value->bytes.size() / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
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
