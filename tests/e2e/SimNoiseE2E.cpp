// The simulator's seeded line noise, seen from the terminal's end of the pty: each kind of fault
// does what it says to the bytes, a seed replays the same faults, and noise limited to transfers
// leaves the console alone.
#include <gtest/gtest.h>

#include <bitset>

#include "e2e/SimProcess.h"

namespace tavrin::testing {
namespace {

// The banner as the simulator sends it with the given switches (read until 800 ms of quiet).
std::string BannerWith(const std::vector<std::string>& switches) {
    std::vector<std::string> args{"--pty", "--once"};
    args.insert(args.end(), switches.begin(), switches.end());
    SimProcess sim(args);
    if (!sim.Started()) return "(not started)";
    SimWire wire = SimWire::OpenPty(sim.PtyPath());
    return wire.ReadFor(800);
}

TEST(SimNoiseTest, EachFaultKindChangesTheBytesAsDescribed) {
    const std::string clean = BannerWith({});
    ASSERT_NE(clean.find("commands.\r\n>"), std::string::npos);

    // A rate of 1024 per 1024 bytes hits every byte.
    const std::string flipped = BannerWith({"--noise", "1024:tx:flip", "--noise-seed", "7"});
    ASSERT_EQ(flipped.size(), clean.size());
    for (size_t i = 0; i < clean.size(); ++i)
        EXPECT_EQ(std::bitset<8>(uint8_t(clean[i] ^ flipped[i])).count(), 1u) << "byte " << i;

    EXPECT_EQ(BannerWith({"--noise", "1024:tx:drop"}), "");

    const std::string inserted = BannerWith({"--noise", "1024:tx:insert"});
    ASSERT_EQ(inserted.size(), 2 * clean.size());
    for (size_t i = 0; i < clean.size(); ++i) EXPECT_EQ(inserted[2 * i + 1], clean[i]) << "byte " << i;

    // Stalls hold bytes back but change none of them.
    EXPECT_EQ(BannerWith({"--noise", "4:tx:stall", "--noise-stall-max", "100"}), clean);
    // Noise on what the simulator receives leaves what it sends alone.
    EXPECT_EQ(BannerWith({"--noise", "1024:rx"}), clean);
    // Outside a transfer, noise limited to transfers does nothing.
    EXPECT_EQ(BannerWith({"--noise", "1024", "--noise-transfers-only"}), clean);
}

TEST(SimNoiseTest, ASeedReplaysTheSameFaults) {
    const std::vector<std::string> seven{"--noise", "300:tx:flip,drop,insert", "--noise-seed", "7"};
    const std::string first = BannerWith(seven);
    EXPECT_EQ(BannerWith(seven), first);
    EXPECT_NE(BannerWith({"--noise", "300:tx:flip,drop,insert", "--noise-seed", "8"}), first);
}

TEST(SimNoiseTest, BadNoiseSwitchesAreRefused) {
    for (const char* value : {"x", "-1", "2000", "1:up", "1:tx:melt"}) {
        SimProcess sim({"--pty", "--noise", value});
        EXPECT_EQ(sim.WaitExit(3000), 2) << value;
    }
    SimProcess sim({"--pty", "--noise-seed", "abc"});
    EXPECT_EQ(sim.WaitExit(3000), 2);
}

}  // namespace
}  // namespace tavrin::testing
