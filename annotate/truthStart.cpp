// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/truthStart.h"

#include "annotate/annotateOptions.h"
#include "annotate/trackKeyframes.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString keyframeCount(const Annotation& annotation) {
    const std::size_t count = annotation.keyframes.size();
    return count == 1 ? QStringLiteral("1 keyframe") : QStringLiteral("%1 keyframes").arg(count);
}

} // namespace

Refusable<TruthStart> startTruth(const QByteArray& truthName, bool named, const FileName& track,
                                 int every, std::int64_t frameCount, QSize frameSize) {
    const QString shown = QFile::decodeName(truthName);
    const int fault = named ? exitUsage : exitFailure;
    const QString nameAnother =
        named ? QString() : QStringLiteral("; name another truth file with --truth");
    if (!reachableByQt(truthName)) {
        return Refusal{QStringLiteral("the truth file's name \"%1\" is not valid in the "
                                      "locale's encoding and cannot be written; name one with "
                                      "--truth")
                           .arg(shown),
                       fault};
    }
    const QFileInfo file(shown);
    if (file.exists() && file.isDir()) {
        return Refusal{QStringLiteral("the truth file %1 is a directory%2").arg(shown, nameAnother),
                       fault};
    }
    if (file.exists() && !track.isEmpty()) {
        return Refusal{QStringLiteral("the truth file %1 exists already and --from-track starts a "
                                      "new one; name a new file with --truth, or move %1 away")
                           .arg(shown),
                       exitUsage};
    }
    TruthStart start;
    if (file.exists()) {
        const Refusable<GroundTruth> reading =
            readGroundTruth(FileName::fromBytes(truthName), frameCount, annotationRules, frameSize);
        if (!reading) {
            return Refusal{reading.refusal().message + nameAnother, fault};
        }
        Refusable<ContinuedAnnotation> continued = annotationOf(*reading, frameCount - 1);
        if (!continued) {
            return Refusal{QStringLiteral("%1: %2").arg(shown, continued.refusal().message) +
                               nameAnother,
                           fault};
        }
        start.annotation = std::move(continued->annotation);
        start.note = QStringLiteral("Going on with %1: %2.")
                         .arg(file.fileName(), keyframeCount(start.annotation));
        if (continued->note) {
            start.note += ' ' + *continued->note;
        }
        return start;
    }
    if (!track.isEmpty()) {
        Refusable<Annotation> fromTrack = readTrackKeyframes(track, every, frameCount, frameSize);
        if (!fromTrack) {
            return Refusal{fromTrack.refusal().message, exitUsage};
        }
        start.annotation = std::move(*fromTrack);
        start.saved = false;
        start.note = QStringLiteral("%1 from the track, one tick in %2; correct them and save.")
                         .arg(keyframeCount(start.annotation))
                         .arg(every);
        return start;
    }
    start.note = QStringLiteral("A new truth file, %1: click the stone.").arg(file.fileName());
    return start;
}
