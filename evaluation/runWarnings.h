// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "evaluation/evaluation.h"
#include "evaluation/runRecord.h"

#include <QStringList>
#include <cstdint>

// The reasons not to trust a run's figures, each said in a sentence: the
// report lists them, the table ends with them and the replay says them on
// stderr.

// Below this many shots an efficiency moves by 5 points or more with every
// shot, and its 95 % interval is some 40 points wide.
inline constexpr std::int64_t fewestShotsForAnEfficiency = 20;

// What the run's settings make of its figures, known before the run: a tick
// longer than the shot period (tickLongerThanShotPeriod).
QStringList settingWarnings(const RunSettings& settings);

// The recording's warnings (RunSettings::recordingWarnings) first, then the
// settings' (settingWarnings), then those of the run: the marked region
// wholly or partly outside the processed region, a way of firing with fewer
// than fewestShotsForAnEfficiency shots, a tracker that never held the stone,
// and a track that moved less than half as far as the truth.
QStringList runWarnings(const RunSettings& settings, const Evaluation& evaluation);
