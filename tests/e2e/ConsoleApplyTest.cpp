// rdpport.com set-port --apply against Wine's own TermService, a stub that runs but listens nowhere:
// the port is written, the service restarted, and the program says plainly that it did not take effect.
// The service is put back stopped or running as it was found.

#include <gtest/gtest.h>

#include <algorithm>

#include "ConsoleCase.h"
#include "driver/ProgramCase.h"
#include "support/JsonReader.h"
#include "support/ProgramTexts.h"
#include "support/RegistryKit.h"
#include "support/ServiceKit.h"

namespace {

using namespace e2e;
using namespace testkit;

class E2EConsoleApply : public E2EConsoleCase {};

TEST_F(E2EConsoleApply, WinesServiceIsRestartedButNotSeenListeningSoTheApplyFails) {
    const ScopedServiceState restore;
    ASSERT_TRUE(restore.Before());
    const JsonValue json = Json(Run({L"set-port", L"3390", L"--apply", L"--json"}, 1));
    EXPECT_TRUE(BothPortKeysHold(3390)) << "the write stands: it came before the restart";
    EXPECT_FALSE(json["applied"].boolean);
    const JsonValue& seen = json["listeningAfter"];
    EXPECT_TRUE(seen.IsNull() || std::none_of(seen.items.begin(), seen.items.end(),
                                              [](const JsonValue& p) { return p.number == 3390; }));
    EXPECT_EQ(json["restartSeconds"].type, JsonValue::Type::Number);
    EXPECT_NE(json["restartNote"].text.find(L"包括您自己的连接"), std::wstring::npos);
    EXPECT_NE(json["error"]["text"].text.find(L"未见它在端口 3390 监听"), std::wstring::npos)
        << Utf8(json["error"]["text"].text);
    EXPECT_EQ(ServiceState(), std::optional<DWORD>(SERVICE_RUNNING)) << "started again";
}

TEST_F(E2EConsoleApply, ApplyWithAnotherCommandIsAUsageErrorAndTouchesNothing) {
    const ScopedServiceState restore;
    Run({L"enable", L"--apply"}, 2);
    EXPECT_TRUE(BothPortKeysHold(3389));
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 1));
    EXPECT_EQ(ServiceState(), restore.Before());
}

}  // namespace
