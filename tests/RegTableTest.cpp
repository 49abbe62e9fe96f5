// The registry routines against Wine's real registry, and their exact calls through the registry table.

#include <gtest/gtest.h>

#include "registry/RegTable.h"
#include "support/RegistryKit.h"
#include "support/RegistryRecorder.h"
#include "support/Seams.h"
#include "support/SeededTest.h"

namespace {

using namespace testkit;
using RegTable::TypedValue;

const std::string kKey = std::string(kTestRoot) + "\\Values";
const std::wstring kKeyW = L"SOFTWARE\\RdpPortTests\\Values";

std::vector<BYTE> Bytes(std::initializer_list<int> values) { return std::vector<BYTE>(values.begin(), values.end()); }

class RegistryTest : public testing::Test {
protected:
    void SetUp() override { DeleteTree(kTestRoot); }
    void TearDown() override { DeleteTree(kTestRoot); }
};

// ---- GetValueText ------------------------------------------------------------------------------

TEST_F(RegistryTest, GetValueTextReadsDwordsAsDecimalAndStringsAsText) {
    struct Case { std::string name; DWORD type; std::vector<BYTE> bytes; std::wstring expected; };
    const Case cases[] = {
        {"zero", REG_DWORD, Bytes({0, 0, 0, 0}), L"0"},
        {"one", REG_DWORD, Bytes({1, 0, 0, 0}), L"1"},
        {"256", REG_DWORD, Bytes({0, 1, 0, 0}), L"256"},
        {"3389", REG_DWORD, Bytes({0x3D, 0x0D, 0, 0}), L"3389"},
        {"allOnes", REG_DWORD, Bytes({0xFF, 0xFF, 0xFF, 0xFF}), L"-1"},
        {"sz", REG_SZ, Bytes({'1', 0}), L"1"},
        {"expand", REG_EXPAND_SZ, Bytes({'%', 'P', 'A', 'T', 'H', '%', 0}), L"%PATH%"},
        {"binary", REG_BINARY, Bytes({1, 2, 3, 4}), L""},
        {"multi", REG_MULTI_SZ, Bytes({'a', 0, 0}), L""},
    };
    for (const Case& c : cases) WriteRaw(kKey, c.name, c.type, c.bytes);
    for (const Case& c : cases) {
        const std::wstring name(c.name.begin(), c.name.end());
        EXPECT_EQ(RegTable::GetValueText(HKEY_LOCAL_MACHINE, kKeyW, name), c.expected) << c.name;
    }
    EXPECT_EQ(RegTable::GetValueText(HKEY_LOCAL_MACHINE, kKeyW, L"missing"), L"");
    EXPECT_EQ(RegTable::GetValueText(HKEY_LOCAL_MACHINE, kKeyW + L"\\NoSuchKey", L"zero"), L"");
}

TEST_F(RegistryTest, GetValueTextReadsStringsThatFitTheBufferOnly) {
    WriteString(kKey, "fits", std::string(1023, 'a'));       // 1024 bytes with its terminator
    WriteString(kKey, "tooLong", std::string(1024, 'b'));    // 1025 bytes
    EXPECT_EQ(RegTable::GetValueText(HKEY_LOCAL_MACHINE, kKeyW, L"fits"), std::wstring(1023, L'a'));
    EXPECT_EQ(RegTable::GetValueText(HKEY_LOCAL_MACHINE, kKeyW, L"tooLong"), L"");
}

// ---- QueryValueVariant -------------------------------------------------------------------------

TEST_F(RegistryTest, QueryValueVariantReadsDwordAndStringAndLeavesTheOutValueOnRefusal) {
    WriteDword(kKey, "port", 3389);
    WriteString(kKey, "text", "3390");
    WriteString(kKey, "expand", "%TEMP%", REG_EXPAND_SZ);
    WriteRaw(kKey, "binary", REG_BINARY, Bytes({0x3D, 0x0D, 0, 0}));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);

    TypedValue value;
    EXPECT_EQ(RegTable::QueryValueVariant(key, L"port", value), 0);
    EXPECT_EQ(value, TypedValue(std::int32_t{3389}));
    EXPECT_EQ(RegTable::QueryValueVariant(key, L"text", value), 0);
    EXPECT_EQ(RegTable::TextForm(value), L"3390");

    const TypedValue kept = std::wstring(L"kept");
    struct Case { const wchar_t* name; long status; };
    for (const Case c : {Case{L"missing", ERROR_FILE_NOT_FOUND}, Case{L"expand", -1}, Case{L"binary", -1}}) {
        value = kept;
        EXPECT_EQ(RegTable::QueryValueVariant(key, c.name, value), c.status) << c.name;
        EXPECT_EQ(value, kept) << c.name;
    }
    RegCloseKey(key);
}

// ---- SetDwordValue -----------------------------------------------------------------------------

TEST_F(RegistryTest, SetDwordValueWritesTheConvertedTextAsLittleEndianDword) {
    struct Case { std::wstring text; std::vector<BYTE> bytes; };
    const Case cases[] = {
        {L"3389", Bytes({0x3D, 0x0D, 0, 0})}, {L"-1", Bytes({0xFF, 0xFF, 0xFF, 0xFF})},
        {L"abc", Bytes({0, 0, 0, 0})},        {L"80.5", Bytes({80, 0, 0, 0})},
        {L"1e3", Bytes({0, 0, 0, 0})},        {L"99999999999", Bytes({0, 0, 0, 0})},
        {L"&H1F90", Bytes({0x90, 0x1F, 0, 0})}, {L" 65535 ", Bytes({0xFF, 0xFF, 0, 0})},
    };
    for (const Case& c : cases) {
        std::wstring text = c.text;
        EXPECT_TRUE(RegTable::SetDwordValue(HKEY_LOCAL_MACHINE, kKeyW, L"v", text));
        EXPECT_EQ(text, c.text) << "a non-empty text is handed back unchanged";
        const auto raw = ReadRaw(kKey, "v");
        ASSERT_TRUE(raw.has_value());
        EXPECT_EQ(raw->type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(raw->bytes, c.bytes) << std::string(c.text.begin(), c.text.end());
    }
}

TEST_F(RegistryTest, SetDwordValueTurnsAnEmptyTextIntoABlankAndWritesZero) {
    WriteDword(kKey, "v", 7);
    std::wstring text;
    EXPECT_TRUE(RegTable::SetDwordValue(HKEY_LOCAL_MACHINE, kKeyW, L"v", text));
    EXPECT_EQ(text, L" ");
    EXPECT_EQ(ReadDword(kKey, "v"), 0u);
}

TEST_F(RegistryTest, SetDwordValueCreatesAMissingKeyPathWithClassFour) {
    const std::string deep = kKey + "\\a\\b";
    std::wstring text = L"8080";
    ASSERT_FALSE(KeyExists(kKey));
    EXPECT_TRUE(RegTable::SetDwordValue(HKEY_LOCAL_MACHINE, kKeyW + L"\\a\\b", L"PortNumber", text));
    EXPECT_EQ(ReadDword(deep, kPortValue), 8080u);
    EXPECT_EQ(KeyClass(deep), "4");
}

// ---- Exact calls through the registry table ------------------------------------------------------

TEST_F(RegistryTest, EveryCallCarriesTheDocumentedArgumentsAndEveryKeyIsClosed) {
    RegistryRecorder recorder;
    std::wstring text = L"3389";
    ASSERT_TRUE(RegTable::SetDwordValue(HKEY_LOCAL_MACHINE, kKeyW, L"PortNumber", text));
    RegTable::GetValueText(HKEY_LOCAL_MACHINE, kKeyW, L"PortNumber");

    const auto creates = recorder.Of("Create");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(creates[0].path, kKey);
    EXPECT_EQ(creates[0].reserved, 0u);
    EXPECT_EQ(creates[0].keyClass, "4");
    EXPECT_EQ(creates[0].options, 0u);
    EXPECT_EQ(creates[0].access, static_cast<REGSAM>(0x2003F));
    ASSERT_TRUE(creates[0].hasAttributes);
    EXPECT_EQ(creates[0].attributes.nLength, 50u);
    EXPECT_EQ(creates[0].attributes.lpSecurityDescriptor, nullptr);
    EXPECT_EQ(creates[0].attributes.bInheritHandle, 0xFFFF);

    const auto sets = recorder.Of("Set");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].path, kPortValue);
    EXPECT_EQ(sets[0].reserved, 0u);
    EXPECT_EQ(sets[0].type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(sets[0].size, 4u);
    EXPECT_EQ(sets[0].data, Bytes({0x3D, 0x0D, 0, 0}));

    const auto opens = recorder.Of("Open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].options, 0u);
    EXPECT_EQ(opens[0].access, static_cast<REGSAM>(0x2003F));
    const auto queries = recorder.Of("Query");
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_TRUE(queries[0].hasData);
    EXPECT_EQ(queries[0].size, 1024u);
    EXPECT_EQ(recorder.OpenedKeys(), recorder.ClosedKeys());
}

TEST_F(RegistryTest, QueryValueVariantAsksForTypeAndSizeFirst) {
    WriteDword(kKey, "port", 3389);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    RegistryRecorder recorder;
    TypedValue value;
    EXPECT_EQ(RegTable::QueryValueVariant(key, L"port", value), 0);
    const auto queries = recorder.Of("Query");
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_FALSE(queries[0].hasData);
    EXPECT_EQ(queries[0].size, 0u);
    EXPECT_TRUE(queries[1].hasData);
    EXPECT_EQ(queries[1].size, 4u);
    EXPECT_EQ(recorder.ClosedKeys(), 0) << "the caller's key is the caller's to close";
    RegCloseKey(key);
}

TEST_F(RegistryTest, InjectedFailuresGiveFalseOrEmptyAndLeaveNoKeyOpen) {
    WriteDword(kKey, "v", 5);
    for (const char* failing : {"Create", "Set", "Open", "Query"}) {
        SCOPED_TRACE(failing);
        RegistryRecorder recorder;
        recorder.fail = [failing](const RegCall& call) -> LONG {
            return call.function == failing ? ERROR_ACCESS_DENIED : 0;
        };
        std::wstring text = L"6";
        const bool written = RegTable::SetDwordValue(HKEY_LOCAL_MACHINE, kKeyW, L"v", text);
        const std::wstring read = RegTable::GetValueText(HKEY_LOCAL_MACHINE, kKeyW, L"v");
        const std::string f = failing;
        EXPECT_EQ(written, f != "Create" && f != "Set");
        EXPECT_EQ(read, (f == "Open" || f == "Query") ? L"" : (written ? L"6" : L"5"));
        if (f == "Create") {
            EXPECT_TRUE(recorder.Of("Set").empty()) << "nothing is written without a key";
        }
        EXPECT_EQ(recorder.OpenedKeys(), recorder.ClosedKeys());
    }
}

// ---- Remote Desktop settings -------------------------------------------------------------------

class RemoteSettingsTest : public SeededTest {
protected:
    std::vector<std::wstring> Boxes() const { return MessageBoxScript::Instance().Texts(); }
};

TEST_F(RemoteSettingsTest, GetRemotePortReadsThePortOrWarnsOnce) {
    EXPECT_EQ(RegTable::GetRemotePort(), L"3389");
    EXPECT_TRUE(Boxes().empty());

    WriteString(kRdpTcp, kPortValue, "3390");
    EXPECT_EQ(RegTable::GetRemotePort(), L"3390") << "a string value is read as it stands";
    EXPECT_TRUE(Boxes().empty());

    struct Case { const char* what; DWORD type; std::vector<BYTE> bytes; };
    const Case unreadable[] = {
        {"expand string", REG_EXPAND_SZ, Bytes({'3', '3', '8', '9', 0})},
        {"binary", REG_BINARY, Bytes({0x3D, 0x0D, 0, 0})},
        {"oversized dword", REG_DWORD, Bytes({0x3D, 0x0D, 0, 0, 0, 0, 0, 0})},
    };
    for (const Case& c : unreadable) {
        MessageBoxScript::Instance().Reset();
        WriteRaw(kRdpTcp, kPortValue, c.type, c.bytes);
        EXPECT_EQ(RegTable::GetRemotePort(), L"") << c.what;
        ASSERT_EQ(MessageBoxScript::Instance().Shown().size(), 1u) << c.what;
        EXPECT_EQ(MessageBoxScript::Instance().Shown()[0].text, L"远程端口获取失败！");
        EXPECT_EQ(MessageBoxScript::Instance().Shown()[0].style, 48u);
        EXPECT_EQ(MessageBoxScript::Instance().Shown()[0].caption, L"Korvane远程端口修改软件");
    }

    MessageBoxScript::Instance().Reset();
    DeleteTree(kRdpTcp);
    EXPECT_EQ(RegTable::GetRemotePort(), L"");
    EXPECT_EQ(Boxes(), std::vector<std::wstring>{L"远程端口获取失败！"});
}

TEST_F(RemoteSettingsTest, GetRemotePortWarnsOnceForEveryInjectedFailure) {
    for (int failAt : {1, 2, 3}) {  // the open, the size query, the data query
        SCOPED_TRACE(failAt);
        MessageBoxScript::Instance().Reset();
        RegistryRecorder recorder;
        int calls = 0;
        recorder.fail = [&](const RegCall& call) -> LONG {
            if (call.function == "Close") return 0;
            return ++calls == failAt ? ERROR_ACCESS_DENIED : 0;
        };
        EXPECT_EQ(RegTable::GetRemotePort(), L"");
        EXPECT_EQ(Boxes(), std::vector<std::wstring>{L"远程端口获取失败！"});
        EXPECT_EQ(recorder.OpenedKeys(), recorder.ClosedKeys());
    }
}

TEST_F(RemoteSettingsTest, SetRemotePortWritesBothKeysEvenWhenTheFirstFails) {
    std::wstring port = L"8080";
    EXPECT_TRUE(RegTable::SetRemotePort(port));
    EXPECT_EQ(ReadDword(kRdpTcp, kPortValue), 8080u);
    EXPECT_EQ(ReadDword(kRdpwdTcp, kPortValue), 8080u);

    std::wstring empty;
    EXPECT_TRUE(RegTable::SetRemotePort(empty));
    EXPECT_EQ(empty, L" ");
    EXPECT_EQ(ReadDword(kRdpTcp, kPortValue), 0u);
    EXPECT_EQ(ReadDword(kRdpwdTcp, kPortValue), 0u);

    RegistryRecorder recorder;
    recorder.fail = [](const RegCall& call) -> LONG {
        return call.function == "Create" && call.path == kRdpTcp ? ERROR_ACCESS_DENIED : 0;
    };
    std::wstring next = L"3391";
    EXPECT_FALSE(RegTable::SetRemotePort(next));
    EXPECT_EQ(ReadDword(kRdpTcp, kPortValue), 0u);
    EXPECT_EQ(ReadDword(kRdpwdTcp, kPortValue), 3391u);
    EXPECT_TRUE(Boxes().empty()) << "the caller reports";
}

TEST_F(RemoteSettingsTest, ARefusedValueWriteIsAFailureNotASuccess) {
    RegistryRecorder recorder;
    recorder.fail = [](const RegCall& call) -> LONG { return call.function == "Set" ? ERROR_ACCESS_DENIED : 0; };
    std::wstring port = L"3390";
    EXPECT_FALSE(RegTable::SetRemotePort(port));
    EXPECT_EQ(recorder.Of("Set").size(), 2u) << "the second key is written all the same";
    EXPECT_FALSE(RegTable::SetRemoteEnabled(true));
    EXPECT_EQ(recorder.OpenedKeys(), recorder.ClosedKeys());
    EXPECT_EQ(ReadDword(kRdpTcp, kPortValue), 3389u);
    EXPECT_EQ(ReadDword(kTerminalServer, kDenyValue), 1u);
}

TEST_F(RemoteSettingsTest, IsRemoteEnabledIsFalseOnlyForExactlyOne) {
    struct Case { const char* what; std::function<void()> arrange; bool enabled; };
    const Case cases[] = {
        {"1", [] { WriteDword(kTerminalServer, kDenyValue, 1); }, false},
        {"0", [] { WriteDword(kTerminalServer, kDenyValue, 0); }, true},
        {"2", [] { WriteDword(kTerminalServer, kDenyValue, 2); }, true},
        {"string 1", [] { WriteString(kTerminalServer, kDenyValue, "1"); }, false},
        {"string ' 1'", [] { WriteString(kTerminalServer, kDenyValue, " 1"); }, true},
        {"missing", [] { DeleteValue(kTerminalServer, kDenyValue); }, true},
    };
    for (const Case& c : cases) {
        c.arrange();
        EXPECT_EQ(RegTable::IsRemoteEnabled(), c.enabled) << c.what;
    }
}

TEST_F(RemoteSettingsTest, SetRemoteEnabledWritesTheDenyFlagAndCreatesItsKey) {
    EXPECT_TRUE(RegTable::SetRemoteEnabled(true));
    EXPECT_EQ(ReadDword(kTerminalServer, kDenyValue), 0u);
    EXPECT_TRUE(RegTable::IsRemoteEnabled());
    EXPECT_TRUE(RegTable::SetRemoteEnabled(false));
    EXPECT_EQ(ReadDword(kTerminalServer, kDenyValue), 1u);
    EXPECT_FALSE(RegTable::IsRemoteEnabled());

    RegistryRecorder recorder;
    recorder.fail = [](const RegCall& call) -> LONG {
        return call.function == "Create" && call.path == kTerminalServer ? ERROR_FILE_NOT_FOUND : 0;
    };
    EXPECT_FALSE(RegTable::SetRemoteEnabled(true));
}

// ---- Real registry failures ----------------------------------------------------------------------

TEST_F(RemoteSettingsTest, AVolatileParentMakesTheSecondPortKeyFailForReal) {
    {
        ScopedVolatileKey volatileWds(kWds);
        ASSERT_EQ(volatileWds.Status(), ERROR_SUCCESS);
        RegistryRecorder recorder;
        std::wstring port = L"3390";
        EXPECT_FALSE(RegTable::SetRemotePort(port));
        EXPECT_EQ(ReadDword(kRdpTcp, kPortValue), 3390u) << "the first key is written";
        EXPECT_FALSE(KeyExists(kRdpwdTcp));
        const auto creates = recorder.Of("Create");
        ASSERT_EQ(creates.size(), 2u);
        EXPECT_EQ(creates[1].status, ERROR_CHILD_MUST_BE_VOLATILE);
    }
}

TEST_F(RemoteSettingsTest, AnEmptyDaclMakesReadsFailForReal) {
    {
        ScopedEmptyDacl locked(kRdpTcp);
        EXPECT_EQ(RegTable::GetRemotePort(), L"");
        EXPECT_EQ(Boxes(), std::vector<std::wstring>{L"远程端口获取失败！"});
    }
    EXPECT_EQ(RegTable::GetRemotePort(), L"3389") << "readable again once the DACL is back";
    {
        ScopedEmptyDacl locked(kTerminalServer);
        RegistryRecorder recorder;
        EXPECT_TRUE(RegTable::IsRemoteEnabled()) << "an unreadable flag counts as allowed";
        EXPECT_FALSE(RegTable::SetRemoteEnabled(false));
        ASSERT_FALSE(recorder.Of("Open").empty());
        EXPECT_EQ(recorder.Of("Open")[0].status, ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(ReadDword(kTerminalServer, kDenyValue), 1u);
}

}  // namespace
