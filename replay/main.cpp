#include "app/MainWindow.h"
#include "common/programOptions.h"
#include "common/terminationSignals.h"
#include "common/videoRefusal.h"
#include "log/eventLog.h"
#include "log/logText.h"
#include "log/ticks.h"
#include "replay/latencySweepRun.h"
#include "replay/progressLine.h"
#include "replay/replayOptions.h"
#include "replay/replayRun.h"
#include "replay/trackCsv.h"
#include "simulation/evaluation.h"
#include "simulation/evaluationReport.h"
#include "simulation/groundTruth.h"
#include "simulation/runPlot.h"
#include "simulation/sweepPlot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <memory>

// tessavolant-replay [options] VIDEO: the window's treatment run without a
// screen, on a perfect 25 ms clock, as fast as the video decodes.

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

int usageError(const QString& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program, qPrintable(message), program);
    return 2;
}

int failure(const QString& message) {
    std::fprintf(stderr, "%s: %s\n", program, qPrintable(message));
    return 1;
}

// The figures against the true position: a table on stdout and the files
// asked for. False, with what went wrong on stderr, if a file was not written.
bool writeEvaluation(const ReplayOptions& options, const RunSettings& settings,
                     const RunRecord& record, const GroundTruth& truth,
                     const std::vector<SweepPoint>& sweep) {
    const JudgedRun judged = judgeRun(settings, record, truth);
    const Evaluation& evaluation = judged.evaluation;
    std::fputs(qPrintable("\n" + evaluationTable(settings, evaluation)), stdout);
    if (!sweep.empty()) {
        std::fputs(qPrintable("\n" + sweepTable(settings, sweep)), stdout);
    }
    std::fflush(stdout);
    std::optional<QString> problem;
    if (!options.reportPath.isEmpty()) {
        problem =
            writeEvaluationJson(options.reportPath, settings, options.truthPath, evaluation, sweep);
    }
    if (!problem && !options.summaryPath.isEmpty()) {
        problem = appendSummaryRow(options.summaryPath, settings, options.truthPath, evaluation);
    }
    if (!problem && !options.plotPath.isEmpty()) {
        problem = writeRunPlot(options.plotPath, settings, record, judged);
    }
    if (!problem && !options.plotPath.isEmpty() && !sweep.empty()) {
        problem = writeSweepPlot(sweepPlotPath(options.plotPath), settings, sweep);
    }
    if (problem) {
        failure(*problem);
    }
    return !problem;
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QFile::decodeName(argv[i]);
    }
    const ParsedReplayCommand command = parseReplayCommand(arguments);
    switch (command.outcome) {
    case ParsedReplayCommand::Outcome::Answer:
        printText(stdout, command.text);
        return 0;
    case ParsedReplayCommand::Outcome::UsageError:
        return usageError(command.text);
    case ParsedReplayCommand::Outcome::Run:
        break;
    }
    const ReplayOptions& options = command.options;
    eventlog::setProblemReporter([](const std::string& message) {
        std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    });

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

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> track(nullptr, &std::fclose);
    if (!options.trackPath.isEmpty()) {
        track.reset(std::fopen(QFile::encodeName(options.trackPath).constData(), "w"));
        if (!track) {
            return failure("cannot write the track " + options.trackPath);
        }
    }

    ManualClock clock;
    ScopedTickSource useClock(clock);
    const VideoFileName video = nameAsGiven(options.settings.video, argc, argv);
    auto window = std::make_unique<MainWindow>(nullptr, video, options.logPath);
    if (window->logHeldElsewhere()) {
        return failure("another copy is writing the log " + options.logPath +
                       "; give this run a log of its own with --log");
    }
    if (!window->isReady()) {
        return failure(
            QStringLiteral("cannot open the video \"%1\": %2")
                .arg(QString::fromLatin1(eventlog::escapedForTerminal(window->chosenPath())),
                     videoRefusal(window->chosenFileName())));
    }
    window->timer->stop();
    if (!window->loggFile) {
        return failure("cannot write the log " + options.logPath);
    }
    if (const std::optional<QString> problem = problemWithFrame(options, *window)) {
        return usageError(*problem);
    }

    // Where the header gives no frame count, the file is read through once.
    std::int64_t frames = window->frameCount;
    if (frames == 0 && (!options.settings.ticks || !options.truthPath.isEmpty())) {
        frames = countFramesByReading(video.bytes.toStdString());
    }
    const std::int64_t ticks =
        options.settings.ticks.value_or(ticksOnceThrough(window->frameCount, frames));

    std::optional<TruthReading> truth;
    if (!options.truthPath.isEmpty()) {
        truth = readGroundTruth(options.truthPath, frames > 0 ? frames : -1);
        if (!truth->ok()) {
            return usageError(truth->error->text());
        }
    }
    RunRecord record;

    QElapsedTimer elapsed;
    elapsed.start();
    startRun(*window, options);
    if (track) {
        std::fputs(trackCsvHeader().constData(), track.get());
    }
    ProgressLine progress(ticks, !options.quiet);
    std::int64_t done = 0;
    // Once through ends early where the header promised frames that are not
    // there (a file cut short): at the tick on which playback started over.
    bool startedOver = false;
    std::int64_t previousFrame = 0;
    while (done < ticks && rememberedTerminationSignal() == 0 && !startedOver) {
        const TickRecord tick = runTick(*window, clock, ++done);
        if (track) {
            std::fputs(trackCsvRow(tick).constData(), track.get());
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
    const std::size_t linesLost = window->endRun();
    std::vector<SweepPoint> sweep;
    if (truth && options.sweep && rememberedTerminationSignal() == 0) {
        ProgressLine sweepProgress(
            static_cast<std::int64_t>(options.sweep->latencies().size() * sweptPredictions.size() *
                                      record.size()),
            !options.quiet);
        sweep = runLatencySweep(*window, clock, settings, record, truth->truth, *options.sweep,
                                [&sweepProgress](std::int64_t done, std::int64_t) {
                                    sweepProgress.update(done);
                                    return rememberedTerminationSignal() == 0;
                                });
        sweepProgress.clear();
        if (rememberedTerminationSignal() != 0) {
            sweep.clear();
            std::fprintf(stderr, "%s: the latency sweep was interrupted; it is left out\n",
                         program);
        }
    }
    window.reset();
    if (track && (std::ferror(track.get()) || std::fclose(track.release()) != 0)) {
        return failure("the track " + options.trackPath + " could not be written whole");
    }
    std::printf("%lld ticks, %d hits with tracking, %d shots without tracking, %.1f s\n",
                static_cast<long long>(done), hits, shotsWithout, elapsed.elapsed() / 1000.0);
    if (truth && !writeEvaluation(options, settings, record, truth->truth, sweep)) {
        return 1;
    }
    if (const int stopSignal = rememberedTerminationSignal()) {
        return 128 + stopSignal;
    }
    return linesLost > 0 ? 1 : 0;
}
