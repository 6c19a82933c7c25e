// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/benchSupport.h"

#include <string>
#include <vector>

// What the throughput benchmarks of the replay share: its loop timed, the
// median of repeated runs and their few options.

// Ticks per second of the replay's loop over `ticks` ticks of `video`.
double replayTicksPerSecond(const std::string& video, const ScratchDirectory& scratch,
                            long long ticks);

// Frames per second of decoding `video` alone on one thread, `ticks` frames
// in the order playback reads them (wrapping to frame 1).
double decodeOnlyFramesPerSecond(const std::string& video, long long ticks);

double median(std::vector<double> values);

// The whole number after `name` on the command line; `fallback` without it.
long long option(int argc, char** argv, const char* name, long long fallback);
