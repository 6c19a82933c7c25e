// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "evaluation/proportionIntervals.h"

// The figures of an evaluation as text, each written one way wherever it
// appears: in the table on the terminal, in the picture and in the CSV row.

// A share of 0..1 as a percentage with one decimal ("87.5 %"); "n/a" for none.
QString percentText(const std::optional<double>& share);

// The gain of tracking in shot efficiency, a fraction, as signed percentage
// points ("+12.5 points", "-3.0 points"); "n/a" for none.
QString gainText(const std::optional<double>& gain);

// A distance in pixels with one decimal ("3.5").
QString distanceText(double pixels);

// A figure for a CSV field: `decimals` fixed decimals with a decimal point,
// and an empty field for none.
QString csvFigure(const std::optional<double>& value, int decimals);

// An interval of shares as percentages ("62.1 to 84.3 %"); "n/a" for none.
QString percentIntervalText(const std::optional<Interval>& interval);

// An interval of a gain as signed percentage points ("-3.0 to +28.1
// points"); "n/a" for none.
QString gainIntervalText(const std::optional<Interval>& interval);

// Whether tracking helps, hurts or the run cannot tell by the 95 % interval
// of the gain `gain`, with the shots it rests on: one sentence, no full stop.
QString verdictText(const std::optional<Interval>& gain, std::int64_t shotsWithTracking,
                    std::int64_t shotsWithout);
