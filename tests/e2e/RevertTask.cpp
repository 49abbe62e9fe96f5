#include "RevertTask.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/RegistryKit.h"

namespace e2e {

using namespace std::chrono_literals;

void ClearRevert() {
    RunConsoleProgram({L"confirm"});
    testkit::DeleteTree(kRecordKey);
}

std::vector<std::wstring> TaskArguments() {
    const auto from = testkit::ReadDword(kRecordKey, "From");
    const auto to = testkit::ReadDword(kRecordKey, "To");
    const auto seconds = testkit::ReadDword(kRecordKey, "RevertAfterSeconds");
    const auto apply = testkit::ReadDword(kRecordKey, "Apply");
    EXPECT_TRUE(from && to && seconds && apply) << "no record of the revert";
    if (!(from && to && seconds && apply)) return {L"help"};
    std::vector<std::wstring> args = {L"watch",
                                      L"--from",
                                      std::to_wstring(*from),
                                      L"--to",
                                      std::to_wstring(*to),
                                      L"--revert-after",
                                      std::to_wstring(*seconds) + L"s",
                                      L"--json"};
    if (*apply) args.push_back(L"--apply");
    return args;
}

Armed ArmRunningTheTask(const std::vector<std::wstring>& args) {
    ConsoleChild setPort(ConsoleProgramPath(), args);
    Armed armed;
    for (int i = 0; i < 200 && !armed.watch; ++i) {
        if (FileExists(kTaskFile) && testkit::ReadDword(kRecordKey, "Apply"))
            armed.watch = std::make_unique<ConsoleChild>(kCopy, TaskArguments());
        else
            Sleep(100);
    }
    EXPECT_TRUE(armed.watch) << "the task was never registered";
    armed.setPort = setPort.Finish(60s);
    return armed;
}

}  // namespace e2e
