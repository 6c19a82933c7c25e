// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

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
