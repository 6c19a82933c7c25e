// SPDX-License-Identifier: GPL-3.0-or-later
#include "evaluation/proportionIntervals.h"

#include <algorithm>
#include <cmath>

namespace {

// The standard normal quantile of 0.975.
constexpr double z = 1.959963984540054;

} // namespace

std::optional<Interval> wilsonInterval(std::int64_t successes, std::int64_t trials) {
    if (trials <= 0 || successes < 0 || successes > trials) {
        return std::nullopt;
    }
    const auto n = static_cast<double>(trials);
    const auto x = static_cast<double>(successes);
    const double z2 = z * z;
    const double centre = (x + z2 / 2.0) / (n + z2);
    const double half = z * std::sqrt(x * (n - x) / n + z2 / 4.0) / (n + z2);
    // At 0 and at all the bound is exact; rounding must not move it off.
    return Interval{successes == 0 ? 0.0 : std::max(0.0, centre - half),
                    successes == trials ? 1.0 : std::min(1.0, centre + half)};
}

std::optional<Interval> newcombeDifferenceInterval(std::int64_t successes1, std::int64_t trials1,
                                                   std::int64_t successes2, std::int64_t trials2) {
    const std::optional<Interval> first = wilsonInterval(successes1, trials1);
    const std::optional<Interval> second = wilsonInterval(successes2, trials2);
    if (!first || !second) {
        return std::nullopt;
    }
    const double p1 = static_cast<double>(successes1) / static_cast<double>(trials1);
    const double p2 = static_cast<double>(successes2) / static_cast<double>(trials2);
    const double difference = p1 - p2;
    return Interval{difference - std::hypot(p1 - first->low, second->high - p2),
                    difference + std::hypot(first->high - p1, p2 - second->low)};
}

GainVerdict gainVerdict(const std::optional<Interval>& gain) {
    if (!gain || gain->holds(0.0)) {
        return GainVerdict::CannotTell;
    }
    return gain->low > 0.0 ? GainVerdict::Helps : GainVerdict::Hurts;
}
