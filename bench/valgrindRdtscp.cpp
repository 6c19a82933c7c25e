// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for hwy::platform::TimerResolution(), which measures the timer with
// RDTSCP when libhwy is loaded. Only for running the profile driver under
// valgrind (LD_PRELOAD); the resolution is then meaningless but unused.
#include <cstdint>

namespace hwy::platform {
std::uint64_t TimerResolution();
std::uint64_t TimerResolution() { return 1; }
} // namespace hwy::platform
