// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "common/outputFiles.h"
#include "common/programMessages.h"
#include "common/programOptions.h"
#include "common/terminationSignals.h"
#include "evaluation/calibration.h"
#include "evaluation/evaluation.h"
#include "evaluation/groundTruth.h"
#include "evaluation/observerDifference.h"
#include "evaluation/runWarnings.h"
#include "evaluation/trackCsv.h"
#include "log/eventLog.h"
#include "log/ticks.h"
#include "replay/latencySweepRun.h"
#include "replay/progressLine.h"
#include "replay/recordingTerms.h"
#include "replay/replayFiles.h"
#include "replay/replayOptions.h"
#include "replay/replayRun.h"
#include "replay/trackerComparison.h"
#include "report/evaluationReport.h"
#include "report/runPlot.h"
#include "report/sweepPlot.h"
#include "report/trackerPlot.h"
#include "simulation/shotClock.h"
#include "tracking/VideoSource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <opencv2/core/utility.hpp>
#include <variant>

// tessavolant-replay [options] VIDEO: the window's treatment run without a
// screen, on a perfect 25 ms clock (or the one --clock chooses), as fast as
// the video decodes.
//
// Every file is checked before any is created or changed, the video opened
// and the truth read; outputs other than the log and the summary table are
// written beside their names and put in place when whole. So a refused or
// failed run leaves every file it was given as it was.

namespace {

constexpr const char* program = replayProgramName;

// Nothing here needs a runtime directory; Qt's note that there is none (as in
// a batch job) would only repeat itself on every run of a batch.
QtMessageHandler qtHandler = nullptr;
void withoutRuntimeDirectoryNote(QtMsgType type, const QMessageLogContext& context,
                                 const QString& message) {
    if (!message.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set")) {
        qtHandler(type, context, message);
    }
}

constexpr ProgramMessages messages(program);

// What goes to stdout, written only once every file is written, and whether
// all of it arrived.
class Results {
  public:
    void print(const QString& text) {
        if (std::fputs(text.toLocal8Bit().constData(), stdout) == EOF && error == 0) {
            error = errno;
        }
    }
    // False, said on stderr, if stdout did not take everything.
    bool finish() {
        if (std::fflush(stdout) != 0 && error == 0) {
            error = errno;
        }
        if (error != 0) {
            messages.say(QStringLiteral("cannot write the results to stdout: %1")
                             .arg(QString::fromLocal8Bit(std::strerror(error))));
        }
        return error == 0;
    }

  private:
    int error = 0;
};

// The figures against the true position into the files asked for, the table
// for stdout into `results`. False, with what went wrong on stderr, if a file
// was not written. A run ended by a signal adds no row to the summary table,
// which collects whole runs.
bool writeEvaluation(const ReplayOptions& options, const RunSettings& settings,
                     const RunRecord& record, const GroundTruth& truth,
                     const GroundTruth* secondTruth, const std::vector<SweepPoint>& sweep,
                     const std::vector<TrackerRow>& trackers, double cycleMsPerTick,
                     Results& results) {
    JudgedRun judged = judgeRun(settings, record, truth);
    if (secondTruth) {
        judged.evaluation.observersCompared = true;
        judged.evaluation.observerDifference = observerDifference(record, truth, *secondTruth);
        if (judged.evaluation.millimetres) {
            judged.evaluation.millimetres->observerDifference =
                observerDifference(record, truth, *secondTruth, &*settings.mmPerPixel);
        }
    }
    const Evaluation& evaluation = judged.evaluation;
    // The recording's own were said as it was opened, the settings' before
    // the run.
    for (const QString& warning :
         runWarnings(settings, evaluation)
             .mid(settings.recordingWarnings.size() + settingWarnings(settings).size())) {
        messages.say(warning);
    }
    const QString truthShown = options.truthPath.shown();
    Refusable<> problem;
    if (!options.reportPath.isEmpty()) {
        problem =
            trackers.empty()
                ? writeEvaluationJson(options.reportPath, settings, truthShown, evaluation, sweep)
                : writeReportWithTrackers(options.reportPath, settings, truthShown, evaluation,
                                          sweep, trackers);
    }
    if (problem && !options.plotPath.isEmpty()) {
        problem = writeRunPlot(options.plotPath, settings, record, judged);
    }
    if (problem && !options.plotPath.isEmpty() && !sweep.empty()) {
        problem = writeSweepPlot(sweepPicture(options), settings, sweep);
    }
    if (problem && !trackerPicture(options).isEmpty() && !trackers.empty()) {
        std::vector<TrackerCurve> curves;
        for (const TrackerRow& row : trackers) {
            curves.push_back({QString::fromLatin1(trackerName(row.kind)), row.record});
        }
        problem = writeTrackerPlot(trackerPicture(options), settings, curves, truth);
    }
    if (problem && !options.summaryPath.isEmpty()) {
        if (rememberedTerminationSignal() != 0) {
            messages.say(QStringLiteral("%1 gets no row: the run was stopped before its end")
                             .arg(quotedName(options.summaryPath)));
        } else {
            LockWait wait;
            wait.interruptDescriptor = terminationSignalDescriptor();
            wait.onLongWait = [&options] {
                messages.say(
                    QStringLiteral("waiting for the lock of %1, which another process holds; "
                                   "Ctrl+C ends the run without its row")
                        .arg(quotedName(options.summaryPath)));
            };
            problem = appendSummaryRow(options.summaryPath, settings, truthShown, evaluation, wait);
        }
    }
    results.print(evaluationTable(settings, evaluation) + '\n');
    if (!sweep.empty()) {
        results.print('\n' + sweepTable(settings, sweep));
    }
    if (!trackers.empty()) {
        results.print('\n' + trackerTable(settings, trackers, cycleMsPerTick));
    }
    if (!problem) {
        messages.say(problem.refusal().message);
    }
    return problem.ok();
}

// Two annotations are compared by their positions, which labels of focus
// do not give: refused, a usage error, where one gives labels only.
Refusable<> checkPositionsGiven(const GroundTruth& truth, const GroundTruth& second,
                                const ReplayOptions& options) {
    const FileName& focusOnly = truth.labelsFocusOnly()    ? options.truthPath
                                : second.labelsFocusOnly() ? options.compareTruthPath
                                                           : FileName();
    if (focusOnly.isEmpty()) {
        return {};
    }
    return Refusal{QStringLiteral("--compare-truth compares positions, and %1 gives labels of "
                                  "focus only")
                       .arg(quotedName(focusOnly)),
                   exitUsage};
}

} // namespace

int main(int argc, char* argv[]) {
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QByteArray(argv[i]);
    }
    const ParsedReplayCommand command = parseReplayArguments(arguments);
    switch (command.outcome) {
    case ParsedReplayCommand::Outcome::Answer:
        printText(stdout, command.text);
        return 0;
    case ParsedReplayCommand::Outcome::UsageError:
        return messages.usageError(command.text);
    case ParsedReplayCommand::Outcome::Run:
        break;
    }
    // Sizes in millimetres become pixels once the recording's calibration is known.
    ReplayOptions options = command.options;
    // A reader of stdout that has gone is told on stderr, at the end, rather
    // than ending the run by a signal before its files are written.
    std::signal(SIGPIPE, SIG_IGN);
    eventlog::setProblemReporter(
        [](const std::string& message) { messages.say(QString::fromStdString(message)); });

    // Every check before anything is created or changed.
    if (const Refusable<> checked = checkFilesDistinct(options); !checked) {
        return messages.refuse(checked.refusal());
    }
    if (const Refusable<> checked = checkOutputsWritable(options); !checked) {
        return messages.refuse(checked.refusal());
    }
    const Refusable<ProbedVideo> probed = probeVideo(options.video);
    if (!probed) {
        return messages.refuse(probed.refusal());
    }
    const ProbedVideo& video = *probed;
    for (const QString& warning : video.warnings) {
        messages.say(warning);
    }
    const RecordingInfo recording = readRecordingInfo(std::string(
        options.video.bytes.constData(), static_cast<std::size_t>(options.video.bytes.size())));
    for (const QString& warning : recording.warnings) {
        messages.say(warning);
    }
    const Refusable<RecordingTerms> resolved = resolveRecording(options, recording);
    if (!resolved) {
        return messages.refuse(resolved.refusal());
    }
    const RecordingTerms& terms = *resolved;
    if (const Refusable<> checked =
            checkStrategies(options.strategies, terms.mmPerPixel, quotedName(options.video));
        !checked) {
        return messages.refuse(checked.refusal());
    }
    if (const Refusable<> checked = checkFrame(options, video.frame); !checked) {
        return messages.refuse(checked.refusal());
    }
    if (const Refusable<> settled = settingFromMark(options, video.frame); !settled) {
        return messages.refuse(settled.refusal());
    }
    if (options.settings.roiFromMark) {
        messages.say(QStringLiteral("--roi auto: %1,%2")
                         .arg(options.settings.roi->x)
                         .arg(options.settings.roi->y));
    }
    std::optional<GroundTruth> truth;
    std::optional<GroundTruth> secondTruth;
    const auto readTruth = [&video](const FileName& name) {
        return readGroundTruth(name, video.frames > 0 ? video.frames : -1, replayTruthRules,
                               QSize(video.frame.width, video.frame.height));
    };
    if (!options.truthPath.isEmpty()) {
        Refusable<GroundTruth> read = readTruth(options.truthPath);
        if (!read) {
            return messages.refuse(read.refusal());
        }
        truth = std::move(*read);
    }
    if (!options.compareTruthPath.isEmpty()) {
        Refusable<GroundTruth> read = readTruth(options.compareTruthPath);
        if (!read) {
            return messages.refuse(read.refusal());
        }
        secondTruth = std::move(*read);
        if (const Refusable<> checked = checkPositionsGiven(*truth, *secondTruth, options);
            !checked) {
            return messages.refuse(checked.refusal());
        }
    }

    // Said before the run, so that a batch can be stopped; the report and
    // the table list it among the run's warnings (settingWarnings).
    if (const std::optional<QString> tick = tickLongerThanShotPeriod(
            terms.tickTimes.meanMs(), options.settings.rate.value_or(defaults::skuddPerMin))) {
        messages.say(*tick);
    }

    // Nothing is shown: the window runs on Qt's offscreen platform, which
    // needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qtHandler = qInstallMessageHandler(withoutRuntimeDirectoryNote);
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    std::setlocale(LC_NUMERIC, "C");
    // SIGINT, SIGTERM and SIGHUP end the run after the tick in progress, so
    // that the log gets its summary and the track every finished tick.
    rememberTerminationSignals();

    std::unique_ptr<ReplacingFile> track;
    if (!options.trackPath.isEmpty()) {
        track = std::make_unique<ReplacingFile>(options.trackPath.bytes);
        if (!track->isOpen()) {
            return messages.failure(QStringLiteral("cannot write the track %1: %2")
                                        .arg(quotedName(options.trackPath), track->error()));
        }
    }

    ManualClock clock;
    ScopedTickSource useClock(clock);
    VideoSource::setDecodingThreads(options.threads);
    // OpenCV's pool runs the trackers' parallel loops: as many threads, so
    // that --threads 1 keeps a batch run's replay on one core.
    cv::setNumThreads(options.threads);
    auto window = std::make_unique<MainWindow>(nullptr, options.video, options.logPath);
    window->stopDrawingViews();
    if (window->logHeldElsewhere()) {
        return messages.failure(
            QStringLiteral("another copy is writing the log %1; give this run a log "
                           "of its own with --log")
                .arg(quotedName(options.logPath)));
    }
    if (!window->isReady()) {
        return messages.failure(
            QStringLiteral("cannot open the video %1").arg(quotedName(options.video)));
    }
    window->timer->stop();
    if (!window->loggFile) {
        return messages.failure(
            QStringLiteral("cannot write the log %1").arg(quotedName(options.logPath)));
    }

    const std::int64_t ticks =
        options.settings.ticks.value_or(ticksOnceThrough(video.headerFrameCount, video.frames));
    RunRecord record;

    QElapsedTimer elapsed;
    elapsed.start();
    startRun(*window, options);
    if (track) {
        track->write(terms.mmPerPixel ? withCentreInMmHeader(trackCsvHeader()) : trackCsvHeader());
    }
    ReplayClock ticking(clock, terms.tickTimes);
    ProgressLine progress(ticks, !options.quiet);
    std::int64_t done = 0;
    // Once through ends early where the header promised frames that are not
    // there (a file cut short): at the tick on which playback started over.
    bool startedOver = false;
    bool stopped = false; // the window stopped playing: no frame after the first can be read
    std::int64_t previousFrame = 0;
    while (done < ticks && rememberedTerminationSignal() == 0 && !startedOver && !stopped &&
           (!track || track->isOpen())) {
        QElapsedTimer tickTime;
        tickTime.start();
        const TickRecord tick = runTick(*window, ticking, ++done);
        if (TrackerComparison* comparison = comparisonOf(*window)) {
            comparison->closeTick(static_cast<double>(tickTime.nsecsElapsed()) / 1e9);
        }
        stopped = window->playing != 1;
        if (track) {
            track->write(terms.mmPerPixel
                             ? withCentreInMm(trackCsvRow(tick), tick, *terms.mmPerPixel)
                             : trackCsvRow(tick));
        }
        if (truth) {
            record.push_back(tick);
        }
        progress.update(done);
        startedOver = !options.settings.ticks && tick.frame < previousFrame;
        previousFrame = tick.frame;
    }
    progress.clear();

    const int hits = window->antallSkudd;
    const int shotsWithout = shotsWithoutTrackingSoFar(*window);
    RunSettings settings = settingsInForce(*window, options.settings.video, done);
    settings.timing = options.settings.timing;
    applyTerms(settings, terms);
    settings.recordingWarnings = recording.warnings;
    settings.roiFromMark = options.settings.roiFromMark;
    settings.thresholdFromMark = options.settings.thresholdFromMark;
    if (settings.thresholdFromMark && done > 0) {
        messages.say(
            QStringLiteral("--threshold mark: %1").arg(settings.fixedThreshold.value_or(0)));
    }
    applyStrategies(settings, options.strategies);
    settings.tracker = QString::fromLatin1(trackerName(options.trackers.tracker));
    const bool trackerRefused = window->regionTrackerRefused;
    const Refusal refusal =
        trackerRefused ? trackerRefusal(*window, options.trackers, options.settings.selection)
                       : Refusal();
    const std::size_t linesLost = window->endRun();
    std::vector<SweepPoint> sweep;
    if (truth && options.sweep && rememberedTerminationSignal() == 0) {
        ProgressLine sweepProgress(
            static_cast<std::int64_t>(options.sweep->latencies().size() * sweptPredictions.size() *
                                      record.size()),
            !options.quiet);
        sweep = runLatencySweep(*window, clock, settings, record, *truth, *options.sweep,
                                [&sweepProgress](std::int64_t done, std::int64_t) {
                                    sweepProgress.update(done);
                                    return rememberedTerminationSignal() == 0;
                                });
        sweepProgress.clear();
        if (rememberedTerminationSignal() != 0) {
            sweep.clear();
            messages.say(QStringLiteral("the latency sweep was interrupted; it is left out"));
        }
    }
    std::vector<TrackerRow> trackers;
    double cycleMsPerTick = 0.0;
    const TrackerComparison* comparison = comparisonOf(*window);
    if (truth && comparison && !trackerRefused && rememberedTerminationSignal() == 0) {
        trackers = judgeTrackers(*window, clock, settings, record, *truth, *comparison);
        cycleMsPerTick = comparison->cycleSecondsPerTick() * 1000.0;
    }
    window.reset();
    if (trackerRefused) {
        return messages.refuse(refusal);
    }
    if (stopped) {
        return messages.failure(
            QStringLiteral("cannot play the video %1: no frame after the first can be "
                           "read")
                .arg(quotedName(options.video)));
    }
    // Stopped before its first tick: nothing of the run to keep, and no file
    // is replaced by an empty one.
    if (done == 0 && rememberedTerminationSignal() != 0) {
        return 128 + rememberedTerminationSignal();
    }
    if (track && !track->commit()) {
        return messages.failure(QStringLiteral("cannot write the track %1: %2")
                                    .arg(quotedName(options.trackPath), track->error()));
    }

    Results results;
    bool written = true;
    if (truth) {
        written = writeEvaluation(options, settings, record, *truth,
                                  secondTruth ? &*secondTruth : nullptr, sweep, trackers,
                                  cycleMsPerTick, results);
    }
    const int stopSignal = rememberedTerminationSignal();
    QString summary = QStringLiteral("%1 ticks, %2 hits with tracking, %3 shots without "
                                     "tracking, %4 s")
                          .arg(done)
                          .arg(hits)
                          .arg(shotsWithout)
                          .arg(elapsed.elapsed() / 1000.0, 0, 'f', 1);
    if (stopSignal != 0) {
        summary += QStringLiteral(", stopped by %1 before the end").arg(signalName(stopSignal));
    }
    // Last, so that the last line of a batch's output says how the run ended.
    results.print(summary + '\n');
    written = results.finish() && written;
    if (stopSignal != 0) {
        return 128 + stopSignal;
    }
    return written && linesLost == 0 ? 0 : 1;
}
