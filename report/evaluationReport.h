// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QString>
#include <QStringList>
#include <functional>

#include "common/fileName.h"
#include "common/refusal.h"
#include "evaluation/evaluation.h"
#include "evaluation/latencySweep.h"
#include "evaluation/runRecord.h"

#include <vector>

// The evaluation of a run, written out three ways: a few lines for a person at
// a terminal, a JSON report with every figure and parameter, and one row of a
// CSV table that collects the runs of a batch. Fractions (efficiencies, plane
// agreement) are written as 0..1 in the files and as percentages in the table;
// a figure that does not exist (no shot fired, nothing annotated) is "n/a" in
// the table, null in JSON and an empty field in CSV.

// The table for stdout, lines ending in '\n'.
QString evaluationTable(const RunSettings& settings, const Evaluation& evaluation);

// The table of a latency sweep for stdout: one row per latency and way of
// aiming.
QString sweepTable(const RunSettings& settings, const std::vector<SweepPoint>& sweep);

// With a sweep, the report carries it as a list under "sweep".
QJsonDocument evaluationJson(const RunSettings& settings, const QString& truthPath,
                             const Evaluation& evaluation,
                             const std::vector<SweepPoint>& sweep = {});

// Writes the JSON report to `path` through a temporary file that replaces it
// whole. Refused with the reason where it fails.
Refusable<> writeEvaluationJson(const VideoFileName& path, const RunSettings& settings,
                                const QString& truthPath, const Evaluation& evaluation,
                                const std::vector<SweepPoint>& sweep = {});

// The summary table's header and one row, each ending in '\n'.
QByteArray summaryHeader();
QByteArray summaryRow(const RunSettings& settings, const QString& truthPath,
                      const Evaluation& evaluation);

// Appends the run's row to the summary table at `path`, creating it with its
// header when it is new or empty. Safe while other processes append to the
// same file: each row goes in whole under an exclusive lock. A file whose
// first line is another header is left alone. While another process holds
// the lock, the wait goes on until it is free or `wait.interruptDescriptor`
// becomes readable (a signal came), which leaves the table as it was.
// Refused with the reason where it fails.
struct LockWait {
    int interruptDescriptor = -1;
    std::function<void()> onLongWait; // called once when the wait has lasted a second
};
Refusable<> appendSummaryRow(const VideoFileName& path, const RunSettings& settings,
                             const QString& truthPath, const Evaluation& evaluation,
                             const LockWait& wait = {});
