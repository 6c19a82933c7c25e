// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// Every tick reading of the program goes through one tick source, so that tests
// can replace the system's clock with a manual one and let time pass without
// sleeping.
class TickSource {
  public:
    virtual ~TickSource() = default;
    // Current tick count (signed 64-bit, monotonic).
    virtual std::int64_t now() = 0;
    // Ticks per microsecond.
    virtual double ticksPerMicrosecond() = 0;
};

// The tick source in force; the system clock unless a test installed another one.
TickSource& tickSource();
// Installs `source` (not owned) as the tick source; nullptr restores the system clock.
void installTickSource(TickSource* source);

inline std::int64_t currentTick() {
    return tickSource().now();
}

// Whole milliseconds from `from` to `to`, as seconds (so the last three of six
// decimals are always zero when printed).
double elapsedSeconds(std::int64_t from, std::int64_t to);
// Whole milliseconds from `from` to `to` as a 32-bit count; note the later tick first.
std::int32_t elapsedMs(std::int64_t to, std::int64_t from);

// A clock that only moves when told to: one tick is one nanosecond.
class ManualClock : public TickSource {
  public:
    std::int64_t now() override { return ticks_; }
    double ticksPerMicrosecond() override { return 1000.0; }

    void advanceMs(double ms) { ticks_ += static_cast<std::int64_t>(ms * 1e6); }
    void advanceTicks(std::int64_t ticks) { ticks_ += ticks; }

  private:
    std::int64_t ticks_ = 1'000'000'000'000;
};

// Installs a tick source for the lifetime of the guard.
class ScopedTickSource {
  public:
    explicit ScopedTickSource(TickSource& source) { installTickSource(&source); }
    ~ScopedTickSource() { installTickSource(nullptr); }
    ScopedTickSource(const ScopedTickSource&) = delete;
    ScopedTickSource& operator=(const ScopedTickSource&) = delete;
};
