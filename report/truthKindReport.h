// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>

#include "evaluation/evaluation.h"
#include "evaluation/runRecord.h"

// What the report says about the kind of truth a run was judged by, and the
// second annotation it was compared with: the parts of the report that
// evaluationReport leaves to this file.

// Why a run judged by labels of focus has no figures of positions.
inline constexpr char focusLabelsNote[] =
    "the truth gives in-focus labels, not positions: tracking error, aim error at arrival, plane "
    "agreement and the truth's motion are left out";

// Adds "truth_kind" ("positions" or "in_focus") to the report's `root`; by
// labels of focus, takes the figures of positions out of it and says why in
// "left_out". Adds "observer_difference_px" (and "observer_difference_mm"
// where the recording is calibrated) where a second annotation was compared.
void addTruthKind(QJsonObject& root, const Evaluation& evaluation);

// The table's line for the second annotation, "" where none was compared.
QString observerDifferenceLine(const Evaluation& evaluation);
