// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <optional>
#include <string>

// How a run's event log must end.
enum class LogEnd {
    Refused,   // the video could not be opened: the first three lines and no more
    Completed, // the window was closed: "Programmet avsluttet" is the last line
    Cut,       // the program was stopped from outside after start-up: no end line
};

// Checks a whole event log: every line is one of the lines the program writes,
// with its time stamp, the stamps never go back, and the lines come in an order
// the program can write them (the path line second, the plane and interval
// lines alternating, hits only inside an interval, the summary only after
// tracking started). `path` is the video path as the log must hold it, if given.
// Returns what is wrong, or an empty string.
std::string logProblems(const QByteArray& log, LogEnd end,
                        const std::optional<QByteArray>& path = std::nullopt);
