// The lockout guard's check before Network Level Authentication changes, against Wine's real registry.

#include <gtest/gtest.h>

#include "guard/Guard.h"
#include "support/RegistryKit.h"
#include "support/RegistryRecorder.h"

namespace {

using namespace testkit;

// The guard's own check, against Wine's real registry: only a policy value that certainly decides the
// other way (1 against off, 0 against on) is a hazard; a policy that agrees, or one Windows has to
// interpret, says nothing.
TEST(GuardNla, OnlyAPolicyThatDecidesTheOtherWayIsAHazard) {
    RemoveLeftoverPolicyKey();
    struct Case {
        const char* name;
        std::optional<RawValue> policy;
        bool hazardOn, hazardOff;
    };
    const Case cases[] = {
        {"no policy", std::nullopt, false, false},
        {"policy requires", DwordValue(1), false, true},
        {"policy does not require", DwordValue(0), true, false},
        {"policy of another value", DwordValue(2), false, false},
        {"policy as text", StringValue("1"), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<ScopedPolicyValue> policy;
        if (c.policy) policy.emplace(kNlaValue, *c.policy);
        RegistryRecorder recorder;
        for (const bool require : {true, false}) {
            const std::vector<guard::Hazard> hazards = guard::CheckNlaChange(require);
            const bool expected = require ? c.hazardOn : c.hazardOff;
            ASSERT_EQ(hazards.size(), expected ? 1u : 0u) << "require " << require;
            if (expected) {
                EXPECT_EQ(hazards[0].kind, guard::HazardKind::PolicyOverridesNla);
                EXPECT_EQ(hazards[0].port, 0);
            }
        }
        EXPECT_TRUE(recorder.calls.empty()) << "the guard's read is not one of the command's";
    }
    EXPECT_FALSE(PolicyKeyExists());
}

}  // namespace
