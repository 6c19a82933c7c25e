// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayList>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "evaluation/evaluation.h"
#include "evaluation/runRecord.h"

// What the report, the table and the summary say about the ways of firing
// beside gating: the stone's size by which every shot is judged, and the
// focus that follows the stone (its shots are in the report's "following").

// The report's settings: "stone_size_px" {width, height}, with a calibration
// "stone_size_mm" too, and "head_speed_limit": null for none, else {"value",
// "unit": "px/s" or "mm/s"}.
void addStrategySettings(QJsonObject& settingsJson, const RunSettings& settings);

// The table's line about the stone's size and the following focus's
// withheld shots and head speed.
QString strategyLine(const RunSettings& settings, const Evaluation& evaluation);

// The summary table's columns after the others: following_shots,
// following_shots_on_stone, following_tissue_shots, following_efficiency,
// following_withheld, stone_w_px, stone_h_px, head_speed (empty: no limit)
// and head_speed_unit.
QByteArrayList strategySummaryColumns();
QStringList strategySummaryFields(const RunSettings& settings, const Evaluation& evaluation);
