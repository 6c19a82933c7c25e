// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/replayFiles.h"

#include "common/outputFiles.h"
#include "log/logCheck.h"
#include "log/logText.h"
#include "report/sweepPlot.h"
#include "report/trackerPlot.h"
#include "tracking/frameReader.h"
#include "tracking/videoOpening.h"

#include <vector>

QString quotedName(const FileName& name) {
    return '"' + QString::fromUtf8(eventlog::escapedForTerminal(name.shown())) + '"';
}

FileName sweepPicture(const ReplayOptions& options) {
    return options.sweep && !options.plotPath.isEmpty() ? sweepPlotPath(options.plotPath)
                                                        : FileName();
}

Refusable<> checkFilesDistinct(const ReplayOptions& options) {
    std::vector<NamedFile> files{{"VIDEO", options.video.bytes, false}};
    const auto add = [&files](const char* option, const FileName& name, bool output) {
        if (!name.isEmpty()) {
            files.push_back({QLatin1String(option), name.bytes, output});
        }
    };
    add("--truth", options.truthPath, false);
    add("--compare-truth", options.compareTruthPath, false);
    add(options.logGiven ? "--log" : "--log (by default)", options.logPath, true);
    add("--track", options.trackPath, true);
    add("--report", options.reportPath, true);
    add("--plot", options.plotPath, true);
    add("--plot (the sweep's picture beside it)", sweepPicture(options), true);
    add("--plot (the trackers' picture beside it)", trackerPicture(options), true);
    add("--summary", options.summaryPath, true);
    const auto twice = sameFileTwice(files);
    if (!twice) {
        return {};
    }
    const NamedFile& output = files[twice->first];
    const NamedFile& other = files[twice->second];
    return Refusal{
        QStringLiteral("%1 %2 is the same file as %3 %4; give every output a file of its own")
            .arg(output.option, quotedName(FileName::fromBytes(output.name)), other.option,
                 quotedName(FileName::fromBytes(other.name))),
        exitUsage};
}

Refusable<> checkOutputsWritable(const ReplayOptions& options) {
    if (eventlog::lockHeldElsewhere(options.logPath.bytes.toStdString())) {
        return Refusal{
            QStringLiteral("another copy is writing the log %1; give this run a log of its own "
                           "with --log")
                .arg(quotedName(options.logPath))};
    }
    const struct {
        const char* what;
        const FileName& name;
        Writing writing;
    } outputs[] = {
        {"the log", options.logPath, Writing::InPlace},
        {"the track", options.trackPath, Writing::Replaced},
        {"the report", options.reportPath, Writing::Replaced},
        {"the picture", options.plotPath, Writing::Replaced},
        {"the sweep's picture", sweepPicture(options), Writing::Replaced},
        {"the trackers' picture", trackerPicture(options), Writing::Replaced},
        {"the summary table", options.summaryPath, Writing::InPlace},
    };
    for (const auto& output : outputs) {
        if (output.name.isEmpty()) {
            continue;
        }
        // The log is emptied before it is written: another name of its file
        // would be emptied too.
        const bool isLog = &output.name == &options.logPath;
        if (const Refusable<> checked = checkOutput(output.name.bytes, output.writing, isLog);
            !checked) {
            return Refusal{QStringLiteral("cannot write %1 %2: %3")
                               .arg(QLatin1String(output.what), quotedName(output.name),
                                    checked.refusal().message)};
        }
    }
    return {};
}

Refusable<ProbedVideo> probeVideo(const FileName& video) {
    const Refusable<OpenedRecording> opened =
        openRecordingFile(video.bytes, FrameCounting::ReadThroughWhereHeaderIsSilent);
    if (!opened) {
        return Refusal{QStringLiteral("cannot open the video %1: %2")
                           .arg(quotedName(video), opened.refusal().message)};
    }
    const OpenedRecording& recording = *opened;
    ProbedVideo probed;
    probed.frame = recording.firstFrame.size();
    probed.headerFrameCount = recording.video.headerFrameCount;
    probed.frames = recording.frameCount;
    probed.warnings = recording.video.warnings;
    return probed;
}

FileName trackerPicture(const ReplayOptions& options) {
    if (options.trackers.compared.empty() || options.plotPath.isEmpty()) {
        return FileName();
    }
    const QByteArray& path = options.plotPath.bytes;
    const qsizetype nameStart = path.lastIndexOf('/') + 1;
    const qsizetype dot = path.lastIndexOf('.');
    const qsizetype cut = dot > nameStart ? dot : path.size();
    return FileName::fromBytes(path.left(cut) + "-trackers" + path.mid(cut));
}
