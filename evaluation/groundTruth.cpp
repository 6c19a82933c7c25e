// SPDX-License-Identifier: GPL-3.0-or-later
#include "evaluation/groundTruth.h"

#include <QList>
#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/videoFileCheck.h"
#include "evaluation/tableParser.h"
#include "log/logText.h"

namespace {

// A field as a message quotes it: a NUL, a control character or a terminal
// command in a field is shown escaped, and never cuts the message short.
QString shown(const QByteArray& field) {
    return QStringLiteral("\"%1\"").arg(
        QString::fromUtf8(eventlog::escapedForTerminal(QString::fromUtf8(field))));
}

struct Columns {
    qsizetype frame = -1;
    qsizetype centreX = -1;
    qsizetype centreY = -1;
    qsizetype inPlane = -1;
    qsizetype keyframe = -1;
    qsizetype inFocus = -1;
};

// Where `flag` (1 or 0) is read into `point` from, or nowhere.
struct FlagColumn {
    qsizetype column;
    const char* name;
    bool TruthPoint::*flag;
};

class Parser : public TableParser {
  public:
    Parser(const QString& path, std::int64_t frameCount, TruthRules rules, QSize frameSize)
        : TableParser(path), frameCount(frameCount), rules(rules), frameSize(frameSize) {}

    Refusable<GroundTruth> run(const QByteArray& bytes) {
        if (!readTable(bytes, QStringLiteral(
                                  "no header row; expected one naming frame,centre_x,centre_y"))) {
            return *refusal;
        }
        return std::move(truth);
    }

  private:
    void readHeader(const QList<QByteArray>& fields) override {
        columnCount = fields.size();
        for (qsizetype i = 0; i < fields.size(); ++i) {
            const QByteArray name = fields[i].toLower();
            qsizetype* column = name == "frame"      ? &columns.frame
                                : name == "centre_x" ? &columns.centreX
                                : name == "centre_y" ? &columns.centreY
                                : name == "in_plane" ? &columns.inPlane
                                                     : nullptr;
            if ((rules.annotationColumns || rules.focusLabelsWillDo) && !column) {
                column = name == "keyframe"   ? &columns.keyframe
                         : name == "in_focus" ? &columns.inFocus
                                              : nullptr;
            }
            if (column && *column >= 0) {
                fail(QStringLiteral("column %1 is named twice").arg(QString::fromUtf8(name)));
                return;
            }
            if (column) {
                *column = i;
            } else if (rules.otherColumnsRefused) {
                fail(
                    QStringLiteral("column %1 is none of frame,centre_x,centre_y,in_plane,keyframe,"
                                   "in_focus")
                        .arg(shown(fields[i])));
                return;
            }
        }
        const bool focusLabels = rules.focusLabelsWillDo && columns.centreX < 0 &&
                                 columns.centreY < 0 && columns.inFocus >= 0;
        if (!rules.annotationColumns && !focusLabels) {
            // Ignored like any other column, as they are for positions.
            columns.keyframe = -1;
            columns.inFocus = -1;
        }
        if (rules.centresOptional) {
            requireSomeTruth();
        } else if (!focusLabels) {
            requireCentres();
        } else if (columns.frame < 0) {
            fail(QStringLiteral("the header has no column frame"));
        }
        TruthColumns& present = truth.columns;
        present.centre = columns.centreX >= 0;
        present.inPlane = columns.inPlane >= 0;
        present.keyframe = columns.keyframe >= 0;
        present.inFocus = columns.inFocus >= 0;
    }

    void requireCentres() {
        const std::pair<qsizetype, const char*> required[] = {
            {columns.frame, "frame"}, {columns.centreX, "centre_x"}, {columns.centreY, "centre_y"}};
        for (const auto& [column, name] : required) {
            if (column < 0) {
                fail(QStringLiteral("the header has no column %1; it must name at least "
                                    "frame,centre_x,centre_y%2")
                         .arg(QLatin1String(name), rules.focusLabelsWillDo
                                                       ? QStringLiteral(" or frame,in_focus")
                                                       : QString()));
                return;
            }
        }
    }

    // Labels of the plane or of focus need no centre, but a centre needs both
    // of its coordinates.
    void requireSomeTruth() {
        if (columns.frame < 0) {
            fail(QStringLiteral("the header has no column frame"));
        } else if ((columns.centreX < 0) != (columns.centreY < 0)) {
            fail(columns.centreX < 0 ? QStringLiteral("the header has centre_y but no centre_x")
                                     : QStringLiteral("the header has centre_x but no centre_y"));
        } else if (columns.centreX < 0 && columns.inPlane < 0 && columns.inFocus < 0) {
            fail(QStringLiteral("the header names no truth; it must name frame and "
                                "centre_x,centre_y, in_plane or in_focus"));
        }
    }

    void readRow(const QList<QByteArray>& fields) override {
        if (fields.size() != columnCount) {
            fail(QStringLiteral("the row has %1 fields, the header %2")
                     .arg(fields.size())
                     .arg(columnCount));
            return;
        }
        std::int64_t frame = 0;
        TruthPoint point;
        const bool centre = columns.centreX >= 0;
        if (!readFrame(fields[columns.frame], frame) ||
            (centre && !readCoordinate(fields[columns.centreX], "centre_x", frameSize.width(),
                                       point.centreX)) ||
            (centre && !readCoordinate(fields[columns.centreY], "centre_y", frameSize.height(),
                                       point.centreY))) {
            return;
        }
        const FlagColumn flags[] = {{columns.inPlane, "in_plane", &TruthPoint::inPlane},
                                    {columns.keyframe, "keyframe", &TruthPoint::keyframe},
                                    {columns.inFocus, "in_focus", &TruthPoint::inFocus}};
        for (const FlagColumn& flag : flags) {
            if (flag.column >= 0 && !readFlag(fields[flag.column], flag.name, point.*flag.flag)) {
                return;
            }
        }
        const auto [where, added] = truth.byFrame.emplace(frame, point);
        if (!added) {
            const auto first =
                std::find_if(rowLines.begin(), rowLines.end(),
                             [frame](const auto& row) { return row.first == frame; });
            fail(QStringLiteral("frame %1 is annotated twice (first on line %2)")
                     .arg(frame)
                     .arg(first->second));
            return;
        }
        rowLines.emplace_back(frame, lineNumber);
    }

    bool readFrame(const QByteArray& field, std::int64_t& frame) {
        bool ok = false;
        frame = field.toLongLong(&ok);
        if (!ok) {
            fail(QStringLiteral("frame is not a whole number: %1").arg(shown(field)));
            return false;
        }
        if (frame < 0) {
            fail(QStringLiteral("frame %1 is negative; frames count from 0").arg(frame));
            return false;
        }
        if (frameCount >= 0 && frame >= frameCount) {
            fail(QStringLiteral("frame %1 is beyond the video's last frame, %2 (frames count "
                                "from 0)")
                     .arg(frame)
                     .arg(frameCount - 1));
            return false;
        }
        return true;
    }

    bool readCoordinate(const QByteArray& field, const char* name, int frameSide, double& value) {
        const Refusable<double> read = centreCoordinate(field, name, frameSide, frameSize);
        if (!read) {
            fail(read.refusal().message);
            return false;
        }
        value = *read;
        return true;
    }

    bool readFlag(const QByteArray& field, const char* name, bool& value) {
        if (field != "0" && field != "1") {
            fail(
                QStringLiteral("%1 must be 1 or 0, not %2").arg(QLatin1String(name), shown(field)));
            return false;
        }
        value = field == "1";
        return true;
    }

    std::int64_t frameCount;
    TruthRules rules;
    QSize frameSize;
    qsizetype columnCount = 0;
    Columns columns;
    // The line of each row read, for the message about a frame annotated twice.
    std::vector<std::pair<std::int64_t, int>> rowLines;
    GroundTruth truth;
};

} // namespace

const TruthPoint* GroundTruth::at(std::int64_t frameIndex) const {
    const auto found = byFrame.find(frameIndex);
    return found == byFrame.end() ? nullptr : &found->second;
}

Refusable<double> centreCoordinate(const QByteArray& field, const char* name, int frameSide,
                                   QSize frameSize) {
    // A number with a decimal point and no thousands separators: "1,000" in
    // quotes is no thousand here, and "1,5" no one and a half.
    QLocale strict = QLocale::c();
    strict.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = strict.toDouble(QLatin1String(field), &ok);
    if (!ok || !std::isfinite(value)) {
        return Refusal{QStringLiteral("%1 is not a number: %2%3")
                           .arg(QLatin1String(name), shown(field),
                                field.contains(',')
                                    ? QStringLiteral("; write numbers with a decimal "
                                                     "point and without separators")
                                    : QString())};
    }
    // A centre can lie outside the picture, but not by more than the
    // picture's own size: beyond that it is a slip, and its distances
    // would swamp every figure.
    if (frameSide > 0 && (value < -frameSide || value > 2.0 * frameSide)) {
        return Refusal{QStringLiteral("%1 %2 lies farther outside the %3 x %4 frame than the "
                                      "frame's size; it must lie within %5..%6")
                           .arg(QLatin1String(name), shown(field))
                           .arg(frameSize.width())
                           .arg(frameSize.height())
                           .arg(-frameSide)
                           .arg(2 * frameSide)};
    }
    return value;
}

Refusable<GroundTruth> parseGroundTruth(const QByteArray& bytes, const QString& path,
                                        std::int64_t frameCount, TruthRules rules,
                                        QSize frameSize) {
    return Parser(path, frameCount, rules, frameSize).run(bytes);
}

Refusable<QByteArray> boundedFileBytes(const QByteArray& name, const char* kind) {
    const auto reason = [] { return QString::fromLocal8Bit(std::strerror(errno)); };
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return Refusal{reason()};
    }
    const auto closed = [fd](QString problem) {
        ::close(fd);
        return Refusal{std::move(problem)};
    };
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return closed(reason());
    }
    if (S_ISDIR(status.st_mode)) {
        return closed(QStringLiteral("it is a directory"));
    }
    if (!S_ISREG(status.st_mode)) {
        return closed(QStringLiteral("it is not a regular file but ") +
                      QLatin1String(specialFileKind(status.st_mode)));
    }
    if (status.st_size > truthFileLimitBytes) {
        return closed(QStringLiteral("it has %1 bytes, more than the %2 MiB that %3 may have")
                          .arg(status.st_size)
                          .arg(truthFileLimitBytes >> 20)
                          .arg(QLatin1String(kind)));
    }
    // Read to the end, in case the file grew since; never past the limit.
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(status.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0) {
            break;
        }
        if (got < 0 && errno != EINTR) {
            return closed(reason());
        }
        bytes.append(chunk, std::max<ssize_t>(got, 0));
        if (bytes.size() > truthFileLimitBytes) {
            return closed(QStringLiteral("it has grown past the %1 MiB that %2 may have")
                              .arg(truthFileLimitBytes >> 20)
                              .arg(QLatin1String(kind)));
        }
    }
    ::close(fd);
    return bytes;
}

Refusable<GroundTruth> readGroundTruth(const FileName& name, std::int64_t frameCount,
                                       TruthRules rules, QSize frameSize) {
    const Refusable<QByteArray> bytes = boundedFileBytes(name.bytes, "a truth file");
    if (!bytes) {
        return tableRefusal(name.shown(), 0,
                            QStringLiteral("cannot be read: %1").arg(bytes.refusal().message));
    }
    return parseGroundTruth(*bytes, name.shown(), frameCount, rules, frameSize);
}

QByteArray formatGroundTruth(const GroundTruth& truth) {
    const TruthColumns& columns = truth.columns;
    QByteArray text = "frame";
    const std::pair<bool, const char*> names[] = {{columns.centre, ",centre_x,centre_y"},
                                                  {columns.inPlane, ",in_plane"},
                                                  {columns.keyframe, ",keyframe"},
                                                  {columns.inFocus, ",in_focus"}};
    for (const auto& [present, name] : names) {
        if (present) {
            text += name;
        }
    }
    text += '\n';
    // Adding 0.0 turns -0 into 0, which is printed without a sign.
    const auto coordinate = [](double value) { return QByteArray::number(value + 0.0, 'f', 3); };
    const auto flag = [](bool value) { return value ? QByteArray(",1") : QByteArray(",0"); };
    for (const auto& [frame, point] : truth.byFrame) {
        text += QByteArray::number(static_cast<qlonglong>(frame));
        if (columns.centre) {
            text += ',' + coordinate(point.centreX) + ',' + coordinate(point.centreY);
        }
        if (columns.inPlane) {
            text += flag(point.inPlane);
        }
        if (columns.keyframe) {
            text += flag(point.keyframe);
        }
        if (columns.inFocus) {
            text += flag(point.inFocus);
        }
        text += '\n';
    }
    return text;
}
