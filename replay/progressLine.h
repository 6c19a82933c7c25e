// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdint>

// A one-line progress bar on stderr for long work, redrawn at most ten times
// a second, and only when stderr is a terminal that a person watches.
class ProgressLine {
  public:
    ProgressLine(std::int64_t total, bool wanted);
    ~ProgressLine();
    void update(std::int64_t done);
    // Removes the bar, so that what follows starts on a clean line.
    void clear();

  private:
    std::int64_t total;
    bool shown;
    bool drawn = false;
    QElapsedTimer started;
    qint64 lastDrawMs = -1000;
};

// "[#####.....]  1200/5000 ticks  810 ticks/s  4.7 s left"
QString progressText(std::int64_t done, std::int64_t total, double elapsedSeconds);
