#pragma once
// The base of the end-to-end cases of rdpport.com: the registry seeded as a server holds it, no Group
// Policy value, and the values RemoteDesktopSnapshot keeps put back afterwards as they were found.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "driver/ConsoleProgram.h"
#include "support/JsonReader.h"
#include "support/RegistryKit.h"
#include "support/ServiceKit.h"
#include "support/StandInRemoteDesktop.h"

namespace e2e {

class E2EConsoleCase : public testing::Test {
protected:
    using Args = std::vector<std::wstring>;

    void SetUp() override {
        ASSERT_FALSE(ConsoleProgramPath().empty()) << "RDPPORT_COM is not set";
        testkit::RemoveLeftoverPolicyKey();
        testkit::RepairLeftoverDisabledService();
        testkit::RepairLeftoverStandIn();
        ASSERT_EQ(testkit::SeedRemoteDesktop(3389, 1), ERROR_SUCCESS);
    }
    void TearDown() override {
        EXPECT_EQ(m_snapshot.Restore(), ERROR_SUCCESS);
        EXPECT_FALSE(testkit::PolicyKeyExists()) << "a case left the policy key behind";
    }

    // Runs the program, which must end with `exitCode`; the failure shows what it printed.
    static ConsoleOutcome Run(const Args& args, DWORD exitCode) {
        ConsoleOutcome outcome = RunConsoleProgram(args);
        EXPECT_EQ(outcome.exitCode, std::optional<DWORD>(exitCode))
            << "start error " << outcome.startError << "\nstdout: " << outcome.out << "\nstderr: " << outcome.err;
        return outcome;
    }
    // stdout must be one JSON object and nothing else, stderr empty.
    static testkit::JsonValue Json(const ConsoleOutcome& outcome) {
        std::string error;
        const auto json = testkit::ParseJson(outcome.out, &error);
        EXPECT_TRUE(json && json->type == testkit::JsonValue::Type::Object) << error << ": " << outcome.out;
        EXPECT_EQ(outcome.err, "");
        return json ? *json : testkit::JsonValue{};
    }

    // Both times are known and equal: the key was not written in between.
    static bool SameTime(const std::optional<FILETIME>& a, const std::optional<FILETIME>& b) {
        return a && b && CompareFileTime(&*a, &*b) == 0;
    }

private:
    testkit::RemoteDesktopSnapshot m_snapshot;  // taken before SetUp seeds
};

}  // namespace e2e
