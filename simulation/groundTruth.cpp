#include "simulation/groundTruth.h"

#include <QFile>
#include <QList>
#include <QLocale>
#include <cmath>
#include <limits>

namespace {

// One CSV row split into fields: a field in double quotes may hold commas,
// and "" in it stands for one quote. Spaces around a field are dropped.
QList<QByteArray> splitCsvRow(const QByteArray& row) {
    QList<QByteArray> fields;
    QByteArray field;
    bool quoted = false;
    for (qsizetype i = 0; i < row.size(); ++i) {
        const char c = row[i];
        if (quoted) {
            if (c == '"' && i + 1 < row.size() && row[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.append(field.trimmed());
            field.clear();
        } else {
            field += c;
        }
    }
    fields.append(field.trimmed());
    return fields;
}

QString shown(const QByteArray& field) {
    return QStringLiteral("\"%1\"").arg(QString::fromUtf8(field));
}

struct Columns {
    qsizetype frame = -1;
    qsizetype centreX = -1;
    qsizetype centreY = -1;
    qsizetype inPlane = -1;
};

class Parser {
  public:
    Parser(const QString& path, std::int64_t frameCount) : path(path), frameCount(frameCount) {}

    TruthReading run(QByteArray bytes) {
        if (bytes.startsWith("\xEF\xBB\xBF")) {
            bytes.remove(0, 3);
        }
        const QList<QByteArray> lines = bytes.split('\n');
        bool haveHeader = false;
        for (qsizetype i = 0; i < lines.size() && !reading.error; ++i) {
            lineNumber = static_cast<int>(i + 1);
            QByteArray line = lines[i];
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            if (line.trimmed().isEmpty()) {
                continue;
            }
            const QList<QByteArray> fields = splitCsvRow(line);
            if (!haveHeader) {
                readHeader(fields);
                haveHeader = true;
            } else {
                readRow(fields);
            }
        }
        if (!haveHeader && !reading.error) {
            lineNumber = 1;
            fail(QStringLiteral("no header row; expected one naming frame,centre_x,centre_y"));
        }
        if (reading.error) {
            reading.truth = {};
        }
        return std::move(reading);
    }

  private:
    void fail(const QString& message) { reading.error = TruthError{path, lineNumber, message}; }

    void readHeader(const QList<QByteArray>& fields) {
        columnCount = fields.size();
        for (qsizetype i = 0; i < fields.size(); ++i) {
            const QByteArray name = fields[i].toLower();
            qsizetype* column = name == "frame"      ? &columns.frame
                                : name == "centre_x" ? &columns.centreX
                                : name == "centre_y" ? &columns.centreY
                                : name == "in_plane" ? &columns.inPlane
                                                     : nullptr;
            if (column && *column >= 0) {
                fail(QStringLiteral("column %1 is named twice").arg(QString::fromUtf8(name)));
                return;
            }
            if (column) {
                *column = i;
            }
        }
        const std::pair<qsizetype, const char*> required[] = {
            {columns.frame, "frame"}, {columns.centreX, "centre_x"}, {columns.centreY, "centre_y"}};
        for (const auto& [column, name] : required) {
            if (column < 0) {
                fail(QStringLiteral("the header has no column %1; it must name at least "
                                    "frame,centre_x,centre_y")
                         .arg(QLatin1String(name)));
                return;
            }
        }
    }

    void readRow(const QList<QByteArray>& fields) {
        if (fields.size() != columnCount) {
            fail(QStringLiteral("the row has %1 fields, the header %2")
                     .arg(fields.size())
                     .arg(columnCount));
            return;
        }
        std::int64_t frame = 0;
        TruthPoint point;
        if (!readFrame(fields[columns.frame], frame) ||
            !readCoordinate(fields[columns.centreX], "centre_x", point.centreX) ||
            !readCoordinate(fields[columns.centreY], "centre_y", point.centreY) ||
            (columns.inPlane >= 0 && !readInPlane(fields[columns.inPlane], point.inPlane))) {
            return;
        }
        const auto [where, added] = reading.truth.byFrame.emplace(frame, point);
        if (!added) {
            fail(QStringLiteral("frame %1 is annotated twice (first on line %2)")
                     .arg(frame)
                     .arg(firstLine[frame]));
            return;
        }
        firstLine[frame] = lineNumber;
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

    bool readCoordinate(const QByteArray& field, const char* name, double& value) {
        bool ok = false;
        value = QLocale::c().toDouble(QLatin1String(field), &ok);
        if (!ok || !std::isfinite(value)) {
            fail(QStringLiteral("%1 is not a number: %2").arg(QLatin1String(name), shown(field)));
            return false;
        }
        return true;
    }

    bool readInPlane(const QByteArray& field, bool& inPlane) {
        if (field != "0" && field != "1") {
            fail(QStringLiteral("in_plane must be 1 or 0, not %1").arg(shown(field)));
            return false;
        }
        inPlane = field == "1";
        return true;
    }

    QString path;
    std::int64_t frameCount;
    int lineNumber = 0;
    qsizetype columnCount = 0;
    Columns columns;
    std::map<std::int64_t, int> firstLine;
    TruthReading reading;
};

} // namespace

const TruthPoint* GroundTruth::at(std::int64_t frameIndex) const {
    const auto found = byFrame.find(frameIndex);
    return found == byFrame.end() ? nullptr : &found->second;
}

QString TruthError::text() const {
    if (line <= 0) {
        return QStringLiteral("%1: %2").arg(path, message);
    }
    return QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(message);
}

TruthReading parseGroundTruth(const QByteArray& bytes, const QString& path,
                              std::int64_t frameCount) {
    return Parser(path, frameCount).run(bytes);
}

TruthReading readGroundTruth(const QString& path, std::int64_t frameCount) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        TruthReading reading;
        reading.error =
            TruthError{path, 0, QStringLiteral("cannot be read: %1").arg(file.errorString())};
        return reading;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        TruthReading reading;
        reading.error =
            TruthError{path, 0, QStringLiteral("cannot be read: %1").arg(file.errorString())};
        return reading;
    }
    return parseGroundTruth(bytes, path, frameCount);
}
