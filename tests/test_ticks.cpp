// SPDX-License-Identifier: GPL-3.0-or-later
#include "log/ticks.h"
#include "simulation/shotClock.h"

#include <gtest/gtest.h>

namespace {

// One tick a nanosecond, so a millisecond is 1 000 000 ticks.
constexpr std::int64_t ticksPerMs = 1'000'000;

class TickConversion : public testing::Test {
  protected:
    ManualClock clock;
    ScopedTickSource useClock{clock};
};

} // namespace

TEST_F(TickConversion, WholeMillisecondsAreTruncatedTowardZero) {
    const std::int64_t from = 5'000'000;
    EXPECT_EQ(elapsedMs(from + 1'999'000, from), 1);
    EXPECT_DOUBLE_EQ(elapsedSeconds(from, from + 1'999'000), 0.001);
    EXPECT_EQ(elapsedMs(from + 999'999, from), 0);
    EXPECT_EQ(elapsedSeconds(from, from + 999'999), 0.0);
    EXPECT_EQ(elapsedMs(from - 1'500'000, from), -1);
    EXPECT_DOUBLE_EQ(elapsedSeconds(from, from - 1'500'000), -0.001);
    EXPECT_DOUBLE_EQ(elapsedSeconds(from, from + 75'500 * ticksPerMs), 75.5);
}

TEST_F(TickConversion, MillisecondsKeepTheLow32Bits) {
    const std::int64_t from = 0;
    const std::int64_t tooLong = (std::int64_t{1} << 32) + 7;
    EXPECT_EQ(elapsedMs(tooLong * ticksPerMs, from), 7);
}

TEST_F(TickConversion, TheManualClockIsTheTickSourceWhileInstalled) {
    const std::int64_t before = currentTick();
    clock.advanceMs(25);
    EXPECT_EQ(currentTick() - before, 25 * ticksPerMs);
}

TEST(SystemTickSource, IsRestoredAndRunsAtTheImagingLibrarysRate) {
    {
        ManualClock clock;
        ScopedTickSource useClock(clock);
        EXPECT_EQ(tickSource().ticksPerMicrosecond(), 1000.0);
    }
    EXPECT_GT(tickSource().ticksPerMicrosecond(), 0.0);
    const std::int64_t first = currentTick();
    EXPECT_GE(currentTick(), first);
}

TEST(ShotPeriod, IsKeptInSinglePrecision) {
    EXPECT_EQ(shotPeriodMs(40), 1500.0f);
    EXPECT_EQ(shotPeriodMs(60), 1000.0f);
    EXPECT_EQ(shotPeriodMs(70), 857.142883f);
    EXPECT_NE(static_cast<double>(shotPeriodMs(70)), 60000.0 / 70.0);
    EXPECT_EQ(shotPeriodMs(100), 600.0f);
    EXPECT_EQ(shotPeriodMs(120), 500.0f);
    EXPECT_EQ(shotPeriodMs(160), 375.0f);
}

TEST(ShotsWithoutTracking, AreTruncatedTowardZero) {
    EXPECT_EQ(shotsWithoutTracking(60'000, shotPeriodMs(100)), 100);
    EXPECT_EQ(shotsWithoutTracking(59'999, shotPeriodMs(100)), 99);
    EXPECT_EQ(shotsWithoutTracking(60'000, shotPeriodMs(70)), 69);
    EXPECT_EQ(shotsWithoutTracking(60'000, shotPeriodMs(160)), 160);
    EXPECT_EQ(shotsWithoutTracking(0, shotPeriodMs(40)), 0);
}
