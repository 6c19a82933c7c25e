// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/trackerOptions.h"

#include <algorithm>

namespace {

QString names() {
    return QString::fromStdString(trackerNames());
}

QString bad(const QString& option, const QString& accepted, const QString& given) {
    return QStringLiteral("--%1: expected %2, got \"%3\"").arg(option, accepted, given);
}

} // namespace

TrackerOptions::TrackerOptions()
    : tracker("tracker",
              "What follows the marked region: meanshift, the window's mean shift on the "
              "thresholded picture; csrt, kcf or mil, OpenCV's trackers; template, normalised "
              "cross-correlation of the marked patch within " +
                  QString::number(templateSearchMargin) +
                  " px around its last place. The others run on the frame as decoded (default "
                  "meanshift).",
              "NAME"),
      lostBelow("lost-below",
                QStringLiteral("A tick whose tracking confidence (0..1) is below C counts as out "
                               "of the plane and fires no shot; 0: never (default %1).")
                    .arg(defaultLostBelow),
                "C"),
      compare("compare-trackers",
              "Run every tracker of the comma list over the same decoded frames and judge each "
              "against the truth: a table, and with --report and --plot a list and a picture "
              "(needs --truth).",
              "LIST") {}

Refusable<> TrackerOptions::read(const QCommandLineParser& parser, TrackerChoice& choice,
                                 bool truthGiven) const {
    if (parser.isSet(tracker)) {
        const std::optional<TrackerKind> kind =
            trackerNamed(parser.value(tracker).trimmed().toStdString());
        if (!kind) {
            return Refusal{bad("tracker", names(), parser.value(tracker)), exitUsage};
        }
        choice.tracker = *kind;
    }
    if (parser.isSet(lostBelow)) {
        bool ok = false;
        const double c = parser.value(lostBelow).trimmed().toDouble(&ok);
        if (!ok || !(c >= 0.0 && c <= 1.0)) {
            return Refusal{bad("lost-below", "a confidence from 0 to 1", parser.value(lostBelow)),
                           exitUsage};
        }
        choice.lostBelow = c;
    }
    if (parser.isSet(compare)) {
        const QString accepted = "a comma list of " + names() + ", each once";
        for (const QString& part : parser.value(compare).split(',')) {
            const std::optional<TrackerKind> kind = trackerNamed(part.trimmed().toStdString());
            if (!kind || std::find(choice.compared.begin(), choice.compared.end(), *kind) !=
                             choice.compared.end()) {
                return Refusal{bad("compare-trackers", accepted, parser.value(compare)), exitUsage};
            }
            choice.compared.push_back(*kind);
        }
        if (!truthGiven) {
            return Refusal{
                QStringLiteral("--compare-trackers needs --truth: the trackers are judged by "
                               "the true position"),
                exitUsage};
        }
    }
    return {};
}
