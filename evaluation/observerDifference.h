// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include "evaluation/evaluation.h"
#include "evaluation/groundTruth.h"
#include "evaluation/runRecord.h"

// Two annotations of the same recording (two people, or one person twice)
// differ by about as much as a person's eye can tell: the baseline against
// which the tracking error is read.

// The distance between the centres of `first` and `second` on every tick of
// `record` whose shown frame both annotate with the stone in the plane, the
// ticks the tracking error is measured on; none where there is no such tick.
// Both truths must give positions. With `scale` the distances are
// millimetres (pixels need not be square).
std::optional<ErrorStats> observerDifference(const RunRecord& record, const GroundTruth& first,
                                             const GroundTruth& second,
                                             const MmPerPixel* scale = nullptr);
