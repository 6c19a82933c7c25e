// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "evaluation/evaluation.h"

#include <QJsonValue>
#include <optional>

// A figure that may be missing: its value, or null.
QJsonValue orNull(const std::optional<double>& value);

// The figures of `stats` as the report writes the tracking error: ticks,
// mean, median, p95, max; null for none.
QJsonValue errorStatsJson(const std::optional<ErrorStats>& stats);
