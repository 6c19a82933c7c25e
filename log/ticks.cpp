// SPDX-License-Identifier: GPL-3.0-or-later
#include "log/ticks.h"

#include <opencv2/core/utility.hpp>

namespace {

class SystemClock : public TickSource {
  public:
    std::int64_t now() override { return cv::getTickCount(); }
    // The imaging library reports ticks per second.
    double ticksPerMicrosecond() override { return cv::getTickFrequency() / 1e6; }
};

SystemClock systemClock;
TickSource* installed = nullptr;

// Truncates toward zero whatever the floating-point rounding mode: the cast
// from floating to integer is defined to truncate.
std::int64_t wholeMilliseconds(std::int64_t from, std::int64_t to) {
    const std::int64_t difference = to - from;
    const double ticksPerMs = tickSource().ticksPerMicrosecond() * 1000.0f;
    return static_cast<std::int64_t>(static_cast<double>(difference) / ticksPerMs);
}

} // namespace

TickSource& tickSource() {
    return installed ? *installed : systemClock;
}

void installTickSource(TickSource* source) {
    installed = source;
}

double elapsedSeconds(std::int64_t from, std::int64_t to) {
    return static_cast<double>(wholeMilliseconds(from, to)) / 1000.0f;
}

std::int32_t elapsedMs(std::int64_t to, std::int64_t from) {
    // The low 32 bits, as the data model keeps the count in a 32-bit int.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(wholeMilliseconds(from, to)));
}
