// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/wellFormedLog.h"

#include <QList>
#include <QRegularExpression>
#include <QString>

namespace {

// The kinds of line, by the text after the time stamp.
enum class Line {
    ShotPeriod,
    OpenedFile,
    OpenFailed,
    Initialised,
    TrackingStarted,
    LeftPlane,
    EnteredPlane,
    IntervalStarts,
    IntervalEnds,
    Hit,
    RateChanged,
    ShotsWithoutTracking,
    ShotsWithTracking,
    ProgramEnded,
    Unknown,
};

struct Pattern {
    Line line;
    const char* expression; // over the line read as Latin-1
};

// A time stamp is C's "%f" of a non-negative number of seconds.
const Pattern patterns[] = {
    {Line::ShotPeriod, R"(^(\d+\.\d{6}): Antall ms mellom hvert skudd er \d+\.\d{6} $)"},
    {Line::OpenedFile, "^(\\d+\\.\\d{6}): \u00c5pnet fil  (.*) $"},
    {Line::OpenFailed, R"(^(\d+\.\d{6})  kunne ikke apne fil$)"},
    {Line::Initialised, R"(^(\d+\.\d{6}): Initiering fullfort$)"},
    {Line::TrackingStarted, R"(^(\d+\.\d{6})Starter tracking$)"},
    {Line::LeftPlane, R"(^(\d+\.\d{6}): Ut av planet$)"},
    {Line::EnteredPlane, R"(^(\d+\.\d{6}): Inn i planet\. Var ute av plan i \d+\.\d{6} sekunder$)"},
    {Line::IntervalStarts, R"(^(\d+\.\d{6}): Skudd intervall starter$)"},
    {Line::IntervalEnds, R"(^(\d+\.\d{6}): Skudd intervall slutter$)"},
    {Line::Hit, R"(^(\d+\.\d{6}): Skudd treffer\. Det er \d+ millisekunder siden forrige treff$)"},
    {Line::RateChanged,
     R"(^(\d+\.\d{6}): Skuddfrekvens endret til \d+\.\d{6}ms og \d+skudd per min$)"},
    {Line::ShotsWithoutTracking,
     "^(\\d+\\.\\d{6}): Totalt skudd i tracking periode uten tracking med \\d+ skudd per min "
     "er \\d+ p\u00e5  \\d+\\.\\d{6} sekunder$"},
    {Line::ShotsWithTracking,
     "^(\\d+\\.\\d{6}) : P\u00e5 denne tiden ble \\d+ skudd gjennomf\u00f8rt i brennpunkt "
     "med tracking p\u00e5$"},
    {Line::ProgramEnded, R"(^(\d+\.\d{6}): Programmet avsluttet$)"},
};

struct Parsed {
    Line line = Line::Unknown;
    double stamp = 0;
    QByteArray path;
};

Parsed parse(const QByteArray& bytes) {
    static const std::vector<std::pair<Line, QRegularExpression>> compiled = [] {
        std::vector<std::pair<Line, QRegularExpression>> list;
        for (const Pattern& pattern : patterns) {
            list.emplace_back(pattern.line,
                              QRegularExpression(QString::fromUtf8(pattern.expression)));
        }
        return list;
    }();
    const QString text = QString::fromLatin1(bytes);
    for (const auto& [line, expression] : compiled) {
        const QRegularExpressionMatch match = expression.match(text);
        if (match.hasMatch()) {
            Parsed parsed{line, match.captured(1).toDouble(), {}};
            if (line == Line::OpenedFile) {
                parsed.path = match.captured(2).toLatin1();
            }
            return parsed;
        }
    }
    return {};
}

} // namespace

std::string logProblems(const QByteArray& log, LogEnd end, const std::optional<QByteArray>& path) {
    if (log.isEmpty()) {
        return "the log is empty";
    }
    if (!log.endsWith('\n')) {
        return "the last line is not complete: " + log.mid(log.lastIndexOf('\n') + 1).toStdString();
    }
    QList<QByteArray> lines = log.split('\n');
    lines.removeLast();
    const auto at = [&lines](qsizetype i, const std::string& what) {
        return "line " + std::to_string(i + 1) + " (" + lines[i].toStdString() + "): " + what;
    };

    std::vector<Parsed> parsed;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        // The one empty line follows "Initiering fullfort".
        if (lines[i].isEmpty()) {
            if (i != 3) {
                return at(i, "an empty line out of place");
            }
            continue;
        }
        parsed.push_back(parse(lines[i]));
        if (parsed.back().line == Line::Unknown) {
            return at(i, "not a line the program writes");
        }
    }
    if (parsed.size() < 3) {
        return "fewer than three lines";
    }
    if (parsed[0].line != Line::ShotPeriod) {
        return at(0, "the shot period must come first");
    }
    if (parsed[1].line != Line::OpenedFile) {
        return at(1, "the opened file must come second");
    }
    if (path && parsed[1].path != *path) {
        return at(1, "the path should be " + path->toStdString());
    }
    double previous = 0;
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        // Two lines print the stamp rounded to single precision.
        if (parsed[i].stamp + 1e-5 * std::max(1.0, previous) < previous) {
            return "time stamp " + std::to_string(parsed[i].stamp) + " goes back in kind " +
                   std::to_string(static_cast<int>(parsed[i].line));
        }
        previous = std::max(previous, parsed[i].stamp);
    }

    if (end == LogEnd::Refused) {
        if (parsed.size() != 3 || parsed[2].line != Line::OpenFailed || lines.size() != 3) {
            return "a refused video leaves exactly three lines, the last one the failure";
        }
        return {};
    }
    if (parsed[2].line != Line::Initialised || lines.size() < 4 || !lines[3].isEmpty()) {
        return "the third line must be the end of start-up, followed by one empty line";
    }

    bool tracking = false;
    bool inPlane = false;
    bool inInterval = false;
    std::size_t i = 3;
    for (; i < parsed.size(); ++i) {
        const Line line = parsed[i].line;
        if (line == Line::ShotsWithoutTracking || line == Line::ProgramEnded) {
            break;
        }
        switch (line) {
        case Line::RateChanged:
            break;
        case Line::TrackingStarted:
            if (tracking) {
                return "tracking starts twice";
            }
            tracking = true;
            break;
        case Line::EnteredPlane:
        case Line::LeftPlane:
            if (!tracking || inPlane == (line == Line::EnteredPlane)) {
                return "plane line " + std::to_string(i + 1) + " out of order";
            }
            inPlane = !inPlane;
            break;
        case Line::IntervalStarts:
        case Line::IntervalEnds:
            if (!tracking || inInterval == (line == Line::IntervalStarts)) {
                return "interval line " + std::to_string(i + 1) + " out of order";
            }
            inInterval = !inInterval;
            break;
        case Line::Hit:
            if (!inInterval) {
                return "a hit outside a shot interval, line " + std::to_string(i + 1);
            }
            break;
        default:
            return "line kind " + std::to_string(static_cast<int>(line)) + " out of place";
        }
    }
    if (end == LogEnd::Cut) {
        if (i != parsed.size()) {
            return "a run stopped from outside has no summary and no end line";
        }
        return {};
    }
    if (i < parsed.size() && parsed[i].line == Line::ShotsWithoutTracking) {
        if (!tracking || i + 1 >= parsed.size() || parsed[i + 1].line != Line::ShotsWithTracking) {
            return "the summary needs tracking and two lines";
        }
        i += 2;
    } else if (tracking) {
        return "tracking started but there is no summary";
    }
    if (i + 1 != parsed.size() || parsed[i].line != Line::ProgramEnded) {
        return "the run must end with \"Programmet avsluttet\" and nothing after it";
    }
    return {};
}
