// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/trackKeyframes.h"

#include "evaluation/tableParser.h"

#include <QList>
#include <optional>

namespace {

struct TrackColumns {
    qsizetype tick = -1;
    qsizetype frame = -1;
    qsizetype centreX = -1;
    qsizetype centreY = -1;
    qsizetype inPlane = -1;
};

class TrackParser : public TableParser {
  public:
    TrackParser(const QString& path, int every, std::int64_t frameCount, QSize frameSize)
        : TableParser(path), every(every), frameCount(frameCount), frameSize(frameSize) {}

    Refusable<Annotation> run(const QByteArray& bytes) {
        if (!readTable(bytes, QStringLiteral("no header row; a replay's track starts with one"))) {
            return *refusal;
        }
        return std::move(annotation);
    }

  private:
    void readHeader(const QList<QByteArray>& fields) override {
        columnCount = fields.size();
        const std::pair<const char*, qsizetype*> names[] = {{"tick", &columns.tick},
                                                            {"frame", &columns.frame},
                                                            {"centre_x", &columns.centreX},
                                                            {"centre_y", &columns.centreY},
                                                            {"in_plane", &columns.inPlane}};
        for (qsizetype i = 0; i < fields.size(); ++i) {
            for (const auto& [name, column] : names) {
                if (fields[i] == name && *column < 0) {
                    *column = i;
                }
            }
        }
        for (const auto& [name, column] : names) {
            if (*column < 0) {
                fail(QStringLiteral("the header has no column %1; is this a replay's track "
                                    "(tessavolant-replay --track)?")
                         .arg(QLatin1String(name)));
                return;
            }
        }
    }

    std::optional<std::int64_t> whole(const QByteArray& field, const char* name, std::int64_t low) {
        bool ok = false;
        const std::int64_t value = field.toLongLong(&ok);
        if (!ok || value < low) {
            fail(QStringLiteral("%1 must be a whole number from %2, not \"%3\"")
                     .arg(QLatin1String(name))
                     .arg(low)
                     .arg(QString::fromUtf8(field)));
            return std::nullopt;
        }
        return value;
    }

    // Checked as the replay checks the truth's centres, so that what is
    // saved from here the replay takes.
    std::optional<double> coordinate(const QByteArray& field, const char* name, int frameSide) {
        const Refusable<double> value = centreCoordinate(field, name, frameSide, frameSize);
        if (!value) {
            fail(value.refusal().message);
            return std::nullopt;
        }
        return *value;
    }

    void readRow(const QList<QByteArray>& fields) override {
        if (fields.size() != columnCount) {
            fail(QStringLiteral("the row has %1 fields, the header %2")
                     .arg(fields.size())
                     .arg(columnCount));
            return;
        }
        const auto tick = whole(fields[columns.tick], "tick", 1);
        const auto position = tick ? whole(fields[columns.frame], "frame", 1) : std::nullopt;
        const auto x = position ? coordinate(fields[columns.centreX], "centre_x", frameSize.width())
                                : std::nullopt;
        const auto y =
            x ? coordinate(fields[columns.centreY], "centre_y", frameSize.height()) : std::nullopt;
        if (!y) {
            return;
        }
        const QByteArray& inPlane = fields[columns.inPlane];
        if (inPlane != "0" && inPlane != "1") {
            fail(QStringLiteral("in_plane must be 1 or 0, not \"%1\"")
                     .arg(QString::fromUtf8(inPlane)));
            return;
        }
        const std::int64_t shown = *position - 1;
        if (frameCount >= 0 && shown >= frameCount) {
            fail(QStringLiteral("frame %1 shows frame %2, beyond the video's last frame, %3")
                     .arg(*position)
                     .arg(shown)
                     .arg(frameCount - 1));
            return;
        }
        if ((*tick - 1) % every != 0 || inPlane == "0" || shown <= lastShown) {
            lastShown = std::max(lastShown, shown);
            return;
        }
        lastShown = shown;
        annotation.keyframes[shown] = QPointF(*x, *y);
    }

    int every;
    std::int64_t frameCount;
    QSize frameSize;
    qsizetype columnCount = 0;
    TrackColumns columns;
    // The furthest frame shown so far: a frame at or before it is a repeat.
    std::int64_t lastShown = -1;
    Annotation annotation;
};

} // namespace

Refusable<Annotation> keyframesFromTrack(const QByteArray& bytes, const QString& path, int every,
                                         std::int64_t frameCount, QSize frameSize) {
    return TrackParser(path, every, frameCount, frameSize).run(bytes);
}

Refusable<Annotation> readTrackKeyframes(const FileName& name, int every, std::int64_t frameCount,
                                         QSize frameSize) {
    // Read as a truth file is: a FIFO, a device or a file past the limit is
    // refused before a byte of it is read.
    const Refusable<QByteArray> bytes = boundedFileBytes(name.bytes, "a track");
    if (!bytes) {
        return tableRefusal(name.shown(), 0,
                            QStringLiteral("cannot be read: %1").arg(bytes.refusal().message));
    }
    return keyframesFromTrack(*bytes, name.shown(), every, frameCount, frameSize);
}
