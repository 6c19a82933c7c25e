// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

// 95 % confidence intervals of shot efficiencies. A run fires a few dozen
// shots at most, so the intervals are score intervals, which keep their
// coverage for small counts and for counts of 0 or all, where the normal
// approximation gives intervals of width zero or past 0 and 1.

struct Interval {
    double low = 0.0;
    double high = 0.0;
    bool holds(double value) const { return low <= value && value <= high; }
};

// The Wilson score interval of `successes` out of `trials` (0 <= successes <=
// trials); none for no trials.
std::optional<Interval> wilsonInterval(std::int64_t successes, std::int64_t trials);

// The interval of p1 - p2 for two independent proportions, successes1 of
// trials1 against successes2 of trials2: Newcombe's hybrid score interval
// (his method 10), built from the two Wilson intervals. None unless both have
// trials.
std::optional<Interval> newcombeDifferenceInterval(std::int64_t successes1, std::int64_t trials1,
                                                   std::int64_t successes2, std::int64_t trials2);

// What an interval of a gain says: above 0 the gain is real at the 95 %
// level, below 0 the loss is; an interval that holds 0 (or none) cannot tell.
enum class GainVerdict { Helps, Hurts, CannotTell };
GainVerdict gainVerdict(const std::optional<Interval>& gain);
