// The revert's safety net on a simulated server (support/SimulatedServer.h): the real `set-port
// --revert-after 60s`, then every sequence of up to 4 events (and seeded random ones of up to 12) among
// a restart of the computer, a killed watch, a probe, the administrator's logon, `confirm`, another writer
// holding the lock, a failed start of TermService and time passing; then time runs on until nothing is
// due. Once settled:
//   - the administrator gets in through the port the perimeter admits, or confirmed the change, or the
//     server is back exactly as before it (where the perimeter admits only the new port, a revert before
//     any logon is what was asked for);
//   - the revert never throws out the administrator logged on through the new port, and a confirmed
//     change is never undone;
//   - both port keys and the listener agree, and TermService runs;
//   - no task or record is left unless a revert is still being retried (and no watch ends leaving its
//     task, nor lets the write lock outlive it).
// One case per perimeter (it admits only the old port, or only the new) and with or without --apply,
// and one per perimeter for the window's change from a Remote Desktop session.
// RDPPORT_EXPLORE_SEED and RDPPORT_EXPLORE_COUNT choose the random sequences (seed, how many per case).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/SeededTest.h"
#include "support/SimulatedServer.h"

namespace {

using testkit::SimEvent;
using testkit::SimSetup;

constexpr size_t kExhaustiveLength = 4;
constexpr size_t kRandomLength = 12;

std::string Names(const std::vector<SimEvent>& events) {
    std::string text = "[";
    for (size_t i = 0; i < events.size(); ++i) text += (i ? ", " : "") + std::string(testkit::NameOf(events[i]));
    return text + "]";
}

unsigned long EnvNumber(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoul(text, nullptr, 10) : fallback;
}

class RevertExplorationTest : public testkit::SeededTest {
protected:
    struct Played {
        bool repeats = false;  // an event changed nothing: it plays out as the sequence without it
        std::vector<std::string> violations;
        std::string state;
    };

    static Played Play(SimSetup setup, const std::vector<SimEvent>& events, bool stopAtNoChange) {
        testkit::SimulatedServer server(setup);
        server.Change();
        for (SimEvent event : events) {
            if (!server.Apply(event) && stopAtNoChange) return {true, {}, {}};
        }
        server.Settle();
        return {false, server.Violations(), server.State()};
    }

    void Explore(SimSetup setup, unsigned salt) {
        const auto started = std::chrono::steady_clock::now();
        size_t played = 0, covered = 0, failing = 0;
        const auto check = [&](const std::vector<SimEvent>& events, const Played& outcome) {
            ++played;
            if (outcome.violations.empty()) return;
            if (++failing > 3) return;
            std::string text;
            for (const std::string& violation : outcome.violations) text += "  - " + violation + "\n";
            ADD_FAILURE() << "perimeter admits " << setup.admitted << (setup.apply ? ", --apply" : "")
                          << ": after " << (setup.fromWindow ? "the window's change" : "set-port") << " and "
                          << Names(events) << ":\n"
                          << text << outcome.state;
        };
        // Every sequence of up to kExhaustiveLength events, shortest first. A sequence in which an event changed
        // nothing plays out as the shorter one without it, and so do all its continuations.
        size_t subtree[kExhaustiveLength + 1];
        subtree[kExhaustiveLength] = 1;
        for (size_t n = kExhaustiveLength; n-- > 0;) subtree[n] = 1 + std::size(testkit::kSimEvents) * subtree[n + 1];
        std::vector<std::vector<SimEvent>> level(1);
        for (size_t length = 0; !level.empty(); ++length) {
            std::vector<std::vector<SimEvent>> longer;
            for (const std::vector<SimEvent>& events : level) {
                const Played outcome = Play(setup, events, true);
                covered += outcome.repeats ? subtree[length] : 1;
                if (outcome.repeats) continue;
                check(events, outcome);
                if (length == kExhaustiveLength) continue;
                for (SimEvent event : testkit::kSimEvents) {
                    longer.push_back(events);
                    longer.back().push_back(event);
                }
            }
            level = std::move(longer);
        }
        EXPECT_EQ(covered, subtree[0]);
        const size_t exhaustive = played;

        const unsigned long seed = EnvNumber("RDPPORT_EXPLORE_SEED", 20261208);
        const unsigned long count = EnvNumber("RDPPORT_EXPLORE_COUNT", 25);
        std::mt19937 random(static_cast<std::mt19937::result_type>(seed * 4 + salt));
        for (unsigned long i = 0; i < count; ++i) {
            std::vector<SimEvent> sequence(
                std::uniform_int_distribution<size_t>(kExhaustiveLength + 1, kRandomLength)(random));
            for (SimEvent& event : sequence)
                event = testkit::kSimEvents[std::uniform_int_distribution<size_t>(
                    0, std::size(testkit::kSimEvents) - 1)(random)];
            check(sequence, Play(setup, sequence, false));
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf(
            "[ explore ] perimeter admits %u%s%s: %zu sequences of up to %zu events (%zu played, the rest repeat a "
            "shorter one), %lu random of up to %zu (seed %lu); %zu failing; %.1f s\n",
            setup.admitted, setup.apply ? ", --apply" : "", setup.fromWindow ? " (the window)" : "", covered, kExhaustiveLength, exhaustive, count,
            kRandomLength, seed, failing, seconds);
        EXPECT_EQ(failing, 0u) << "sequences that broke a property (the first three are shown above)";
    }
};

TEST_F(RevertExplorationTest, PerimeterAdmitsTheOldPortChangeApplied) { Explore({3389, true}, 0); }
TEST_F(RevertExplorationTest, PerimeterAdmitsTheOldPortChangeAtTheNextStart) { Explore({3389, false}, 1); }
TEST_F(RevertExplorationTest, PerimeterAdmitsTheNewPortChangeApplied) { Explore({3390, true}, 2); }
TEST_F(RevertExplorationTest, PerimeterAdmitsTheNewPortChangeAtTheNextStart) { Explore({3390, false}, 3); }
TEST_F(RevertExplorationTest, PerimeterAdmitsTheOldPortChangeFromTheWindow) { Explore({3389, true, true}, 4); }
TEST_F(RevertExplorationTest, PerimeterAdmitsTheNewPortChangeFromTheWindow) { Explore({3390, true, true}, 5); }

}  // namespace
