// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/annotateOptions.h"

#include "common/programOptions.h"

#include <QCommandLineParser>
#include <QFile>
#include <limits>
#include <optional>
#include <vector>

namespace {

// `count` whole numbers separated by commas, each in [low, high].
std::optional<std::vector<int>> numberList(const QString& text, int count, int low, int high) {
    const QStringList parts = text.split(',');
    if (parts.size() != count) {
        return std::nullopt;
    }
    std::vector<int> values;
    for (const QString& part : parts) {
        bool ok = false;
        const qint64 value = part.trimmed().toLongLong(&ok);
        if (!ok || value < low || value > high) {
            return std::nullopt;
        }
        values.push_back(static_cast<int>(value));
    }
    return values;
}

QString bad(const QString& option, const QString& accepted, const QString& given) {
    return QStringLiteral("--%1: expected %2, got \"%3\"").arg(option, accepted, given);
}

constexpr int pixels = 1'000'000;

} // namespace

ParsedAnnotateCommand parseAnnotateCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Annotates where the kidney stone really is in VIDEO, frame by frame, for the replay's "
        "--truth: click the stone on some frames (keyframes), the frames between are "
        "interpolated; O marks the stone out of the imaging plane, F the frames on which the "
        "focal marker covers it. Ctrl+S saves.");
    parser.addPositionalArgument(
        "VIDEO", "The recording to annotate: an AVI, a DICOM cine loop, or a numbered image "
                 "sequence given as a folder, one of its frames or a pattern such as "
                 "frames/img_%04d.png.");
    const StandardOptions standard(parser);
    const QCommandLineOption truth(
        "truth",
        "The truth file to write; an existing one is read to go on with it (default: VIDEO's "
        "name without its extension, with -truth.csv).",
        "PATH.csv");
    const QCommandLineOption track(
        "from-track",
        "Start a new truth from a replay's track (its --track): its centres become keyframes. "
        "Read as a truth file is: a regular file of at most 64 MiB.",
        "TRACK.csv");
    const QCommandLineOption every(
        "every", "With --from-track: every N-th tick becomes a keyframe (default 10).", "N");
    const QCommandLineOption focal(
        "focal",
        QStringLiteral("Position of the focal marker, the focal area (default %1,%2).")
            .arg(defaults::brennpunktX)
            .arg(defaults::brennpunktY),
        "X,Y");
    const QCommandLineOption focalSize(
        "focal-size",
        QStringLiteral("Size of the focal marker, each %1..%2 (default %3,%4).")
            .arg(bounds::brennpunktSizeLowest)
            .arg(bounds::brennpunktSizeHighest)
            .arg(defaults::brennpunktWidth)
            .arg(defaults::brennpunktHeight),
        "W,H");
    parser.addOptions({truth, track, every, focal, focalSize});

    ParsedAnnotateCommand result;
    if (!parser.parse(QStringList{"tessavolant-annotate"} + arguments)) {
        result.text = parser.errorText();
        return result;
    }
    if (const std::optional<QString> answer =
            standard.answer(parser, "tessavolant-annotate", "[options] VIDEO")) {
        result.outcome = ParsedAnnotateCommand::Outcome::Answer;
        result.text = *answer;
        return result;
    }
    const auto fail = [&result](const QString& message) {
        result.text = message;
        return result;
    };
    AnnotateOptions& options = result.options;
    const QStringList videos = parser.positionalArguments();
    if (videos.size() != 1 || videos.first().isEmpty()) {
        return fail(videos.size() > 1 ? "expected one VIDEO, got " + QString::number(videos.size())
                                      : QStringLiteral("expected a VIDEO to annotate"));
    }
    options.video = videos.first();
    for (const QCommandLineOption* option : {&truth, &track}) {
        if (parser.isSet(*option) && parser.value(*option).isEmpty()) {
            return fail(bad(option->names().first(), "a file name", ""));
        }
    }
    options.truthPath = parser.value(truth);
    options.trackPath = parser.value(track);
    if (parser.isSet(every)) {
        if (options.trackPath.isEmpty()) {
            return fail("--every needs --from-track: it picks the track's ticks");
        }
        const auto n = numberList(parser.value(every), 1, 1, std::numeric_limits<int>::max());
        if (!n) {
            return fail(bad("every", "a whole number from 1", parser.value(every)));
        }
        options.every = n->front();
    }
    if (parser.isSet(focal)) {
        const auto at = numberList(parser.value(focal), 2, 0, pixels);
        if (!at) {
            return fail(bad("focal", "X,Y: two whole numbers from 0", parser.value(focal)));
        }
        options.focal.x = (*at)[0];
        options.focal.y = (*at)[1];
    }
    if (parser.isSet(focalSize)) {
        const auto size = numberList(parser.value(focalSize), 2, bounds::brennpunktSizeLowest,
                                     bounds::brennpunktSizeHighest);
        if (!size) {
            return fail(bad("focal-size",
                            QStringLiteral("W,H: two whole numbers from %1 to %2")
                                .arg(bounds::brennpunktSizeLowest)
                                .arg(bounds::brennpunktSizeHighest),
                            parser.value(focalSize)));
        }
        options.focal.width = (*size)[0];
        options.focal.height = (*size)[1];
    }
    result.outcome = ParsedAnnotateCommand::Outcome::Run;
    return result;
}

QByteArray defaultTruthName(const QByteArray& video) {
    const qsizetype nameStart = video.lastIndexOf('/') + 1;
    const qsizetype dot = video.lastIndexOf('.');
    // A leading dot ("/data/.hidden") starts the name, not an extension.
    const qsizetype end = dot > nameStart ? dot : video.size();
    return video.left(end) + "-truth.csv";
}

bool reachableByQt(const QByteArray& fileName) {
    return QFile::encodeName(QFile::decodeName(fileName)) == fileName;
}
