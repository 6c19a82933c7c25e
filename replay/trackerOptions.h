// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"
#include "tracking/regionTrackers.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <optional>
#include <vector>

// Which tracker follows the marked region, when a tick counts as lost, and
// the trackers that a comparison runs over the same decoded frames.
struct TrackerChoice {
    TrackerKind tracker = TrackerKind::MeanShift;
    double lostBelow = defaultLostBelow;
    std::vector<TrackerKind> compared; // empty: no comparison
    int threads = 1;                   // a comparison's trackers run on this many threads
};

// --tracker, --lost-below and --compare-trackers.
class TrackerOptions {
  public:
    QList<QCommandLineOption> all() const { return {tracker, lostBelow, compare}; }
    // Reads the options into `options` once its truth is known; refused (a
    // usage error) with what is wrong.
    Refusable<> read(const QCommandLineParser& parser, TrackerChoice& choice,
                     bool truthGiven) const;

  private:
    const QCommandLineOption tracker;
    const QCommandLineOption lostBelow;
    const QCommandLineOption compare;

  public:
    TrackerOptions();
};
