// The firewall model held to an evaluator written apart from it, from Microsoft's documentation alone
// (support/FirewallOracle.h): for generated snapshots, wherever the model calls a profile open, the
// evaluator must admit every packet drawn for it, and wherever it calls one closed, drop every one. The
// snapshots go through the program's own snapshot reader first, so that reader is held to the format
// too. RDPPORT_FIREWALL_SNAPSHOTS and RDPPORT_FIREWALL_SEED give a longer or another run.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

#include "guard/FirewallSnapshot.h"
#include "guard/Guard.h"
#include "support/FakeFirewall.h"
#include "support/FirewallOracle.h"
#include "support/FirewallSnapshotGen.h"

namespace {

namespace fw = guard::firewall;

constexpr std::uint16_t kPort = 3390;
constexpr int kPacketsPerProfile = 16;

std::uint64_t FromEnvironment(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

const char* ProfileName(long type) {
    return type == fw::kProfileDomain ? "domain" : type == fw::kProfilePrivate ? "private" : "public";
}

struct Tally {
    int open = 0, closed = 0, unknown = 0, packets = 0;
    std::vector<std::string> failures;
};

// Every definite verdict of the model for the port, checked against the evaluator's packets.
void CheckVerdicts(const std::string& name, const std::string& snapshot, std::mt19937_64& rng, Tally& tally) {
    const fw::SnapshotReading reading = fw::ReadSnapshot(snapshot);
    if (!reading.state) {
        tally.failures.push_back(name + ": the program's reader refused the snapshot");
        return;
    }
    for (long protocol : {fw::kProtocolTcp, fw::kProtocolUdp}) {
        const fw::Assessment assessment = fw::Assess(*reading.state, kPort, protocol);
        for (const fw::ProfileFinding& finding : assessment.profiles) {
            if (finding.verdict == guard::FirewallVerdict::Unknown) {
                ++tally.unknown;
                continue;
            }
            const bool open = finding.verdict == guard::FirewallVerdict::Admits;
            ++(open ? tally.open : tally.closed);
            const oracle::Outcome wanted = open ? oracle::Outcome::Admit : oracle::Outcome::Drop;
            for (const oracle::Packet& packet :
                 oracle::DrawPackets(rng, snapshot, ProfileName(finding.type), static_cast<int>(protocol), kPort,
                                     kPacketsPerProfile)) {
                ++tally.packets;
                std::string error;
                const std::optional<oracle::Outcome> outcome = oracle::Evaluate(snapshot, packet, &error);
                if (outcome == wanted) continue;
                std::ostringstream why;
                why << name << ": the model says " << (open ? "open" : "closed") << " in " << packet.profile
                    << " for protocol " << protocol << " (" << testing::PrintToString(guard::FindingText(finding))
                    << "), the evaluator says " << (outcome ? oracle::OutcomeName(*outcome) : error.c_str())
                    << " for a packet from " << packet.remoteAddress << ":" << packet.remotePort << " on "
                    << packet.interfaceType << " " << packet.interfaceName << (packet.authenticated ? " (authenticated)" : "")
                    << "\n  snapshot: " << snapshot;
                tally.failures.push_back(why.str());
                return;
            }
        }
    }
}

TEST(FirewallProperty, OpenAdmitsAndClosedDropsEveryPacketTheEvaluatorJudges) {
    const std::uint64_t seed = FromEnvironment("RDPPORT_FIREWALL_SEED", 20261209);
    const std::uint64_t count = FromEnvironment("RDPPORT_FIREWALL_SNAPSHOTS", 2000);
    std::mt19937_64 rng(seed);
    Tally tally;
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [name, snapshot] : oracle::ReviewScenarios(kPort)) CheckVerdicts(name, snapshot, rng, tally);
    for (std::uint64_t i = 0; i < count && tally.failures.size() < 3; ++i)
        CheckVerdicts("snapshot " + std::to_string(i) + " of seed " + std::to_string(seed),
                      oracle::GenerateSnapshot(rng, kPort), rng, tally);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const std::string& failure : tally.failures) ADD_FAILURE() << failure;
    // A test that never meets a definite verdict proves nothing.
    EXPECT_GT(tally.open, static_cast<int>(count) / 4);
    EXPECT_GT(tally.closed, static_cast<int>(count) / 4);
    std::cout << count << " snapshots, " << tally.open << " open and " << tally.closed << " closed verdicts ("
              << tally.unknown << " unknown), " << tally.packets << " packets, " << seconds << " s\n";
}

// Opening the port, on generated firewalls kept in memory: wherever it says the port is admitted (before
// or after writing), the evaluator admits every packet in every profile over TCP and UDP; and no packet
// it admitted on another port before is dropped afterwards.
TEST(FirewallProperty, WhatOpeningClaimsTheEvaluatorConfirmsAndNoOtherPortLosesAPeer) {
    std::mt19937_64 rng(FromEnvironment("RDPPORT_FIREWALL_SEED", 20261209) + 1);
    const std::uint64_t count = FromEnvironment("RDPPORT_FIREWALL_SNAPSHOTS", 2000) / 8;
    int opened = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::string before = oracle::GenerateSnapshot(rng, kPort);
        const fw::SnapshotReading reading = fw::ReadSnapshot(before);
        ASSERT_TRUE(reading.state) << reading.error.size();
        testkit::FakeFirewall firewall(*reading.state);
        const std::uint16_t otherPort = kPort - 1;
        std::vector<oracle::Packet> others;
        for (const char* profile : {"domain", "private", "public"})
            for (const oracle::Packet& packet : oracle::DrawPackets(rng, before, profile, 6, otherPort, 4))
                if (oracle::Evaluate(before, packet) == oracle::Outcome::Admit) others.push_back(packet);

        const guard::FirewallOpening opening = guard::OpenFirewallPort(kPort);
        const std::string after = fw::SnapshotJson(firewall.state);
        for (const oracle::Packet& packet : others)
            ASSERT_EQ(oracle::Evaluate(after, packet), oracle::Outcome::Admit)
                << "port " << otherPort << " lost a peer, snapshot " << i << "\n  before: " << before
                << "\n  after: " << after;
        if (!opening.admitted) continue;
        ++opened;
        for (const char* profile : {"domain", "private", "public"})
            for (int protocol : {6, 17})
                for (const oracle::Packet& packet : oracle::DrawPackets(rng, after, profile, protocol, kPort, 8))
                    ASSERT_EQ(oracle::Evaluate(after, packet), oracle::Outcome::Admit)
                        << "claimed admitted, snapshot " << i << ", " << profile << " " << protocol << " from "
                        << packet.remoteAddress << "\n  after: " << after;
    }
    EXPECT_GT(opened, static_cast<int>(count) / 10) << "the opening must succeed often enough to be tested";
}

}  // namespace
