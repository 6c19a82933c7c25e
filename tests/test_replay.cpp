// SPDX-License-Identifier: GPL-3.0-or-later
// The replay is the window's run on a perfect clock: its log is the window's
// to the byte, its track agrees with the log, its options are checked before
// anything runs, and a signal ends it with a complete log.

#include "app/MainWindow.h"
#include "common/terminationSignals.h"
#include "log/ticks.h"
#include "replay/latencySweepRun.h"
#include "replay/replayOptions.h"
#include "replay/replayRun.h"
#include "replay/treatmentStep.h"
#include "report/sweepPlot.h"
#include "tests/testSupport.h"
#include "tests/wellFormedLog.h"
#include "tools/badInputs.h"
#include "tracking/VideoImage.h"
#include "ui_MainWindow.h"

#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QtTest/QTest>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>

namespace {

constexpr int tickMs = 25;

class Replay : public OnTheDemoVideo {};

using ReplayRun = ProgramOutput;

ReplayRun replay(const QStringList& arguments) {
    return runToEnd(TESSAVOLANT_REPLAY_BINARY, arguments);
}

// What a user does in the window before the first tick, all at one moment.
struct WindowActions {
    std::optional<int> rate;
    std::optional<QSize> focalSize;
    std::optional<double> thresholdHandleAt; // a drag of the threshold handle, 0..1
    QRect marked;
    int ticks = 0;
};

// What the user's actions left in force, as replay options.
struct WindowRun {
    QByteArray log;
    QStringList options;
};

// Drags the handle of `slider` to `fraction` of its groove with the mouse.
void dragHandle(QSlider* slider, double fraction) {
    const QPoint from = slider->rect().center();
    const QPoint to(static_cast<int>(fraction * slider->width()), from.y());
    slider->setSliderPosition(slider->minimum());
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(6, from.y()));
    QTest::mouseMove(slider, (from + to) / 2);
    QTest::mouseMove(slider, to);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, to);
}

WindowRun runInWindow(const QString& video, const WindowActions& actions) {
    ManualClock clock;
    ScopedTickSource useClock(clock);
    WindowRun run;
    {
        MainWindow window(nullptr, video);
        EXPECT_TRUE(window.isReady());
        window.timer->stop();
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        Ui::MainWindow& ui = *window.ui;
        if (actions.rate) {
            ui.skuddPerMinBox->setValue(*actions.rate);
            run.options << "--rate" << QString::number(*actions.rate);
        }
        if (actions.focalSize) {
            ui.brennpunktXBox->setValue(actions.focalSize->width());
            ui.brennpunktYBox->setValue(actions.focalSize->height());
            run.options << "--focal-size"
                        << QStringLiteral("%1,%2")
                               .arg(actions.focalSize->width())
                               .arg(actions.focalSize->height());
        }
        if (actions.thresholdHandleAt) {
            QTest::mouseClick(ui.dynThresholdOff, Qt::LeftButton);
            dragHandle(ui.thresholdSlider, *actions.thresholdHandleAt);
            run.options << "--threshold" << QString::number(window.threshold);
        }
        QGraphicsView* view = ui.dataView;
        const auto at = [view](QPoint p) { return view->mapFromScene(QPointF(p)); };
        const QRect& r = actions.marked;
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at(r.topLeft()));
        QTest::mouseMove(view->viewport(), at(r.center()));
        QTest::mouseMove(view->viewport(), at(r.bottomRight() + QPoint(1, 1)));
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {},
                            at(r.bottomRight() + QPoint(1, 1)));
        const QRect& taken = window.dataScene->handedOver;
        run.options << "--select"
                    << QStringLiteral("%1,%2,%3,%4")
                           .arg(taken.x())
                           .arg(taken.y())
                           .arg(taken.width())
                           .arg(taken.height());
        QTest::mouseClick(ui.startLoggButton, Qt::LeftButton);
        QTest::mouseClick(ui.startButton, Qt::LeftButton);
        for (int tick = 0; tick < actions.ticks; ++tick) {
            clock.advanceMs(tickMs);
            window.OpenCVMeanShift();
        }
    }
    run.log = readBytes("loggfile.txt");
    return run;
}

TEST_F(Replay, WritesTheLogOfTheWindowOnAPerfectClockToTheByte) {
    const QRect aroundStone(207, 205, 21, 19);
    const struct {
        const char* name;
        WindowActions actions;
        bool ticksGiven;
    } cases[] = {
        // Once through the video with the start values: 600 frames, frame 0
        // shown at start-up, 1 to 598 played.
        {"defaults", {std::nullopt, std::nullopt, std::nullopt, aroundStone, 598}, false},
        {"rate, focal size and a fixed threshold, past the first exit from the plane",
         {70, QSize(15, 16), 0.4, aroundStone, 300},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const WindowRun window = runInWindow(video, c.actions);
        ASSERT_TRUE(window.log.contains("Ut av planet")) << "the stone must leave the plane";
        QStringList arguments = window.options;
        arguments << "--log"
                  << "replay.log" << video;
        if (c.ticksGiven) {
            arguments << "--ticks" << QString::number(c.actions.ticks);
        }
        const ReplayRun run = replay(arguments);
        ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
        EXPECT_EQ(readBytes("replay.log"), window.log);
        EXPECT_TRUE(run.output.startsWith(QByteArray::number(c.actions.ticks) + " ticks"))
            << run.output.constData();
    }
}

TEST_F(Replay, TheTrackMarksAHitOnEveryTickThatTheLogLogsOne) {
    const ReplayRun run = replay({"--select", "207,205,21,19", "--log", "replay.log", "--track",
                                  "track.csv", "--quiet", video});
    ASSERT_EQ(run.exitCode, 0) << run.errors.constData();

    QStringList hitTimes;
    for (const QByteArray& line : readBytes("replay.log").split('\n')) {
        if (line.contains(": Skudd treffer.")) {
            hitTimes << QString::fromLatin1(line.left(line.indexOf(':')));
        }
    }
    ASSERT_GE(hitTimes.size(), 5);

    QList<QByteArray> rows = readBytes("track.csv").split('\n');
    ASSERT_EQ(rows.takeFirst(), "tick,frame,time_s,track_x,track_y,track_w,track_h,centre_x,"
                                "centre_y,area,in_plane,on_focal_area,hit,threshold,aim_x,aim_y,"
                                "confidence");
    ASSERT_EQ(rows.takeLast(), "");
    ASSERT_EQ(rows.size(), 598);
    QStringList trackHitTimes;
    for (const QByteArray& row : rows) {
        const QList<QByteArray> fields = row.split(',');
        ASSERT_EQ(fields.size(), 17) << row.constData();
        // Mean shift is sure of the stone exactly while its window holds it.
        EXPECT_EQ(fields[16], fields[10] == "1" ? "1.000" : "0.000") << row.constData();
        // Without a prediction the hit test aims at the tracked centre.
        EXPECT_EQ(fields[14], fields[7] + ".000") << row.constData();
        EXPECT_EQ(fields[15], fields[8] + ".000") << row.constData();
        if (fields[12] == "1") {
            EXPECT_EQ(fields[11], "1") << "a hit off the focal area: " << row.constData();
            trackHitTimes << QString::number(fields[2].toDouble(), 'f', 6);
        }
    }
    EXPECT_EQ(trackHitTimes, hitTimes);
}

// The first line's count without tracking is the log's summary; the table's
// fixed focus fires the same shots.
TEST_F(Replay, TheFixedFocusFiresWhatTheSummaryCountsWithoutTracking) {
    const QStringList settings[] = {{}, {"--rate", "70", "--ticks", "347"}, {"--latency", "200"}};
    for (const QStringList& given : settings) {
        SCOPED_TRACE(given.join(' ').toStdString());
        const ReplayRun run =
            replay(given + QStringList{"--select", "207,205,21,19", "--quiet", "--log",
                                       "replay.log", "--truth", truth, video});
        ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
        const QString output = QString::fromUtf8(run.output);
        const QRegularExpressionMatch without =
            QRegularExpression(
                "(?:^|\n)\\d+ ticks, \\d+ hits with tracking, (\\d+) shots without tracking,")
                .match(output);
        ASSERT_TRUE(without.hasMatch()) << run.output.constData();
        const QRegularExpressionMatch fired =
            QRegularExpression("\nShots fired +\\d+ +(\\d+) +\\d+\n").match(output);
        ASSERT_TRUE(fired.hasMatch()) << run.output.constData();
        EXPECT_EQ(fired.captured(1), without.captured(1));
        EXPECT_TRUE(readBytes("replay.log")
                        .contains(" skudd per min er " + without.captured(1).toLatin1() + " p"));
    }
}

TEST_F(Replay, BadOptionsAreRefusedBeforeAnythingRuns) {
    const struct {
        QStringList arguments;
        const char* named;
    } cases[] = {
        {{"demo.avi"}, "--select"},
        {{"--select", "1,2,3", "demo.avi"}, "--select"},
        {{"--select", "1,2,0,4", "demo.avi"}, "--select"},
        {{"--select", "1,2,3,4", "--rate", "39", "demo.avi"}, "--rate"},
        {{"--select", "1,2,3,4", "--rate", "161", "demo.avi"}, "--rate"},
        {{"--select", "1,2,3,4", "--rate", "1e2", "demo.avi"}, "--rate"},
        {{"--select", "1,2,3,4", "--focal", "-1,2", "demo.avi"}, "--focal"},
        {{"--select", "1,2,3,4", "--focal-size", "1,20", "demo.avi"}, "--focal-size"},
        {{"--select", "1,2,3,4", "--focal-size", "20,101", "demo.avi"}, "--focal-size"},
        {{"--select", "1,2,3,4", "--roi", "x,2", "demo.avi"}, "--roi"},
        {{"--select", "1,2,3,4", "--filter", "21", "demo.avi"}, "--filter"},
        {{"--select", "1,2,3,4", "--threshold", "256", "demo.avi"}, "--threshold"},
        {{"--select", "1,2,3,4", "--threshold", "on", "demo.avi"}, "--threshold"},
        {{"--select", "1,2,3,4", "--ticks", "0", "demo.avi"}, "--ticks"},
        {{"--select", "1,2,3,4", "--threads", "0", "demo.avi"}, "--threads"},
        {{"--select", "1,2,3,4", "--threads", "65", "demo.avi"}, "from 1 to 64"},
        {{"--select", "1,2,3,4", "--threads", "two", "demo.avi"}, "--threads"},
        {{"--select", "1,2,3,4", "--log", "", "demo.avi"}, "--log"},
        {{"--select", "1,2,3,4", "--plot", "p.png", "demo.avi"}, "--plot"},
        {{"--select", "1,2,3,4", "--speed", "2", "demo.avi"}, "speed"},
        {{"--select", "1,2,3,4", "a.avi", "b.avi"}, "VIDEO"},
        {{"--select", "1,2,3,4", "--latency", "-5", "demo.avi"}, "--latency"},
        {{"--select", "1,2,3,4", "--latency", "x", "demo.avi"}, "--latency"},
        {{"--select", "1,2,3,4", "--latency", "2001", "demo.avi"}, "from 0 to 2000"},
        {{"--select", "1,2,3,4", "--latency", "2.5", "demo.avi"}, "--latency"},
        {{"--select", "1,2,3,4", "--predict", "magic", "demo.avi"}, "none, linear or kalman"},
        {{"--select", "1,2,3,4", "--predict-window", "1", "demo.avi"}, "--predict-window"},
        {{"--select", "1,2,3,4", "--gate-margin", "-1", "demo.avi"}, "--gate-margin"},
        {{"--select", "1,2,3,4", "--gate-margin", "nan", "demo.avi"}, "--gate-margin"},
        {{"--select", "1,2,3,4", "--gate-margin", "10.5", "demo.avi"}, "from 0 to 10"},
        {{"--select", "1,2,3,4", "--focal-size", "8,30", "--gate-margin", "5", "demo.avi"},
         "from 0 to 4"},
        {{"--select", "1,2,3,4", "--truth", "t.csv", "--latency-sweep", "0:100:0", "demo.avi"},
         "--latency-sweep"},
        {{"--select", "1,2,3,4", "--truth", "t.csv", "--latency-sweep", "100:0:10", "demo.avi"},
         "--latency-sweep"},
        {{"--select", "1,2,3,4", "--truth", "t.csv", "--latency-sweep", "0:100", "demo.avi"},
         "A:B:STEP"},
        {{"--select", "1,2,3,4", "--truth", "t.csv", "--latency-sweep", "0:3000:10", "demo.avi"},
         "--latency-sweep"},
        {{"--select", "1,2,3,4", "--latency-sweep", "0:100:10", "demo.avi"}, "needs --truth"},
        {{"--select", "1,2,3,4", "--stone-size", "5", "demo.avi"}, "--stone-size"},
        {{"--select", "1,2,3,4", "--stone-size", "-1,4", "demo.avi"}, "--stone-size"},
        {{"--select", "1,2,3,4", "--stone-size", "1,2", "--stone-size-mm", "1,2", "demo.avi"},
         "give one of them"},
        {{"--select", "1,2,3,4", "--head-speed-px", "0", "demo.avi"}, "--head-speed-px"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ParsedReplayCommand command = parseReplayCommand(c.arguments);
        EXPECT_EQ(command.outcome, ParsedReplayCommand::Outcome::UsageError);
        EXPECT_TRUE(command.text.contains(c.named)) << command.text.toStdString();
    }
    const ParsedReplayCommand good = parseReplayCommand(
        {"--select", "207,205,21,19", "--threshold", "120", "--ticks", "5", "-q", "demo.avi"});
    ASSERT_EQ(good.outcome, ParsedReplayCommand::Outcome::Run) << good.text.toStdString();
    EXPECT_EQ(good.options.settings.selection, cv::Rect(207, 205, 21, 19));
    EXPECT_EQ(good.options.settings.fixedThreshold, 120);
    EXPECT_EQ(good.options.settings.ticks, 5);
    EXPECT_TRUE(good.options.quiet);
    EXPECT_EQ(good.options.settings.timing.latencyMs, 0);
    EXPECT_EQ(good.options.settings.timing.predict, Prediction::None);
    EXPECT_EQ(good.options.settings.timing.gateMarginPx, 0.0);
    EXPECT_FALSE(good.options.sweep);

    const ParsedReplayCommand timed =
        parseReplayCommand({"--select", "207,205,21,19", "--latency", "150", "--predict", "kalman",
                            "--predict-window", "8", "--gate-margin", "2.5", "--truth", "t.csv",
                            "--latency-sweep", "0:400:50", "demo.avi"});
    ASSERT_EQ(timed.outcome, ParsedReplayCommand::Outcome::Run) << timed.text.toStdString();
    const ShotTiming& timing = timed.options.settings.timing;
    EXPECT_EQ(timing.latencyMs, 150);
    EXPECT_EQ(timing.predict, Prediction::Kalman);
    EXPECT_EQ(timing.predictWindow, 8);
    EXPECT_EQ(timing.gateMarginPx, 2.5);
    ASSERT_TRUE(timed.options.sweep);
    EXPECT_EQ(timed.options.sweep->latencies().size(), 9u);
}

TEST_F(Replay, TheProgramSaysWhatIsWrongWithTheExitCodeOfItsKind) {
    ASSERT_TRUE(badinputs::writeFile("bad-truth.csv", "frame,centre_x\n0,1\n"));
    const QStringList select{"--select", "207,205,21,19"};
    const struct {
        QStringList arguments;
        int exitCode;
        const char* says;
    } cases[] = {
        {select + QStringList{"--rate", "200", video}, 2, "--rate"},
        {select + QStringList{"--focal", "630,200", video}, 2, "--focal"},
        {{"--select", "600,400,50,50", video}, 2, "outside the 640 x 480 frame"},
        {select + QStringList{"--truth", "bad-truth.csv", video}, 2, "bad-truth.csv:1"},
        {select + QStringList{"--latency", "-5", video}, 2, "--latency"},
        {select + QStringList{"--predict", "magic", video}, 2, "--predict"},
        {select + QStringList{"--stone-size-mm", "5,4", video}, 2,
         "--stone-size-mm needs a calibration"},
        {select + QStringList{"--head-speed", "40", video}, 2, "--head-speed needs a calibration"},
        {select + QStringList{"missing.avi"}, 1, "there is no such file"},
        {select + QStringList{"--log", "no/such/dir/log.txt", video}, 1, "log"},
        {select + QStringList{"--track", "no/such/dir/t.csv", video}, 1, "no/such/dir/t.csv"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ReplayRun run = replay(c.arguments + QStringList{"--quiet"});
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.errors.contains(c.says)) << run.errors.constData();
        EXPECT_TRUE(run.output.isEmpty()) << "no result is reported: " << run.output.constData();
    }
}

TEST_F(Replay, AnInterruptEndsTheRunWithACompleteLogAndEveryFinishedTick) {
    QProcess program;
    program.start(TESSAVOLANT_REPLAY_BINARY,
                  {"--select", "207,205,21,19", "--ticks", "10000000", "--log", "replay.log",
                   "--track", "track.csv", video});
    ASSERT_TRUE(program.waitForStarted());
    // Waits for ticks to be done, not for time to pass. The track is written
    // beside its name ("track.csv.XXXXXX") until the run ends.
    const auto trackSoFar = [] {
        for (const std::filesystem::directory_entry& entry :
             std::filesystem::directory_iterator(".")) {
            if (entry.path().filename().string().starts_with("track.csv.")) {
                return readBytes(entry.path().string());
            }
        }
        return QByteArray();
    };
    while (trackSoFar().count('\n') < 100 && program.state() == QProcess::Running) {
        QThread::msleep(5);
    }
    ::kill(static_cast<pid_t>(program.processId()), SIGINT);
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 130);

    const QByteArray log = readBytes("replay.log");
    EXPECT_EQ(logProblems(log, LogEnd::Completed, video.toLatin1()), "");
    EXPECT_TRUE(log.contains("Totalt skudd i tracking periode")) << log.constData();
    const QByteArray output = program.readAllStandardOutput();
    const long long ticks = output.left(output.indexOf(' ')).toLongLong();
    EXPECT_TRUE(output.endsWith(", stopped by SIGINT before the end\n")) << output.constData();
    EXPECT_GE(ticks, 100);
    const QByteArray track = readBytes("track.csv");
    EXPECT_TRUE(track.endsWith('\n'));
    EXPECT_EQ(track.count('\n'), ticks + 1) << "the header and one row per finished tick";
}

} // namespace

namespace {

// Once through a file whose header promises 2^31 frames: its 49 frames after
// the first, then the tick on which playback starts over at frame 1.
TEST_F(Replay, OnceThroughEndsWherePlaybackStartsOver) {
    ASSERT_TRUE(writeSyntheticVideo("source.avi", "", badinputs::damageSource()));
    ASSERT_TRUE(badinputs::writeWithHeaderCount("source.avi", "huge.avi", 1u << 31, true));
    const ReplayRun run =
        replay({"--select", "70,50,24,20", "--quiet", "--track", "track.csv", "huge.avi"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
    EXPECT_TRUE(run.output.startsWith("50 ticks")) << run.output.constData();
    EXPECT_TRUE(readBytes("track.csv").contains("\n50,2,")) << "the last tick shows frame 1";
}

} // namespace

namespace {

// The window's controls put the focal area's corner anywhere on its sliders,
// whatever its size; the replay takes the same, the area reaching past the
// picture as in the window.
TEST_F(Replay, TheFocalAreaGoesWhereTheWindowsControlsCanPutIt) {
    const ReplayRun run =
        replay({"--select", "207,205,21,19", "--focal", "620,460", "--focal-size", "100,100",
                "--ticks", "5", "-q", "--truth", truth, "--report", "report.json", video});
    ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
    const QByteArray report = readBytes("report.json");
    EXPECT_TRUE(report.contains("\"x\": 620")) << report.constData();
    EXPECT_TRUE(report.contains("\"width\": 100")) << report.constData();
}

// Ctrl+C and then SIGTERM while the run ends: the run was ended by the first.
TEST(ReplaySignals, TheFirstOfSeveralSignalsIsTheOneReported) {
    rememberTerminationSignals();
    std::raise(SIGTERM);
    std::raise(SIGINT);
    EXPECT_EQ(rememberedTerminationSignal(), SIGTERM);
    pollfd signalled{terminationSignalDescriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&signalled, 1, 0), 1) << "a wait with poll ends on the signal";
}

// The replay's run in this process, as its main runs it, with `timing`; the
// window stays open (its run ended) for the treatment to be run again.
struct InProcessRun {
    std::unique_ptr<MainWindow> window;
    RunRecord record;
};

InProcessRun runInProcess(ManualClock& clock, const QString& video, const ShotTiming& timing,
                          std::int64_t ticks) {
    ReplayOptions options;
    options.settings.video = video;
    options.settings.selection = cv::Rect(207, 205, 21, 19);
    options.settings.timing = timing;
    InProcessRun run;
    run.window = std::make_unique<MainWindow>(nullptr, video, QStringLiteral("replay.log"));
    EXPECT_TRUE(run.window->isReady());
    run.window->timer->stop();
    startRun(*run.window, options);
    ReplayClock ticking(clock);
    for (std::int64_t tick = 1; tick <= ticks; ++tick) {
        run.record.push_back(runTick(*run.window, ticking, tick));
    }
    run.window->endRun();
    return run;
}

// The sweep runs the window's own treatment step again on a recorded track:
// for every timing it must decide every tick as a whole run with that timing
// decides it, and leave the run's log alone.
TEST_F(Replay, TreatingARecordedRunAgainDecidesAsAWholeRunWithThatTiming) {
    constexpr std::int64_t ticks = 300; // past the first exit from the plane
    ManualClock clock;
    ScopedTickSource useClock(clock);
    InProcessRun recorded = runInProcess(clock, video, ShotTiming{}, ticks);
    const QByteArray log = readBytes("replay.log");
    ASSERT_TRUE(log.contains("Ut av planet"));
    const ShotTiming timings[] = {
        {},
        {200, Prediction::Linear, 5, 0.0},
        {200, Prediction::Kalman, 5, 1.0},
        {80, Prediction::Linear, 3, 2.5},
    };
    for (const ShotTiming& timing : timings) {
        SCOPED_TRACE(testing::Message()
                     << timing.latencyMs << " ms, " << predictionName(timing.predict).toStdString()
                     << ", margin " << timing.gateMarginPx);
        RunRecord whole;
        {
            ManualClock ownClock;
            ScopedTickSource useOwnClock(ownClock);
            TemporaryWorkingDirectory elsewhere;
            whole = runInProcess(ownClock, video, timing, ticks).record;
        }
        const RunRecord again = treatAgain(*recorded.window, clock, recorded.record, timing);
        EXPECT_EQ(readBytes("replay.log"), log);
        ASSERT_EQ(again.size(), whole.size());
        int hits = 0;
        for (std::size_t i = 0; i < again.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "tick " << again[i].tick);
            ASSERT_EQ(again[i].hit, whole[i].hit);
            ASSERT_EQ(again[i].onFocalArea, whole[i].onFocalArea);
            ASSERT_DOUBLE_EQ(again[i].aimX, whole[i].aimX);
            ASSERT_DOUBLE_EQ(again[i].aimY, whole[i].aimY);
            hits += again[i].hit ? 1 : 0;
        }
        EXPECT_GE(hits, 3);
    }
}

QJsonObject reportOf(const QString& path) {
    return QJsonDocument::fromJson(readBytes(path.toStdString())).object();
}

// At 200 ms, on the demo video and its truth, a prediction aims clearly closer
// to where the stone is when the shot arrives than the tracked centre does.
TEST_F(Replay, APredictionAimsCloserToTheStoneAtArrivalThanNone) {
    std::map<QString, double> meanAim;
    for (const char* predict : {"none", "linear", "kalman"}) {
        SCOPED_TRACE(predict);
        const ReplayRun run = replay({"--select", "207,205,21,19", "--quiet", "--log", "replay.log",
                                      "--truth", truth, "--latency", "200", "--predict", predict,
                                      "--report", "report.json", "--track", "track.csv", video});
        ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
        const QJsonObject report = reportOf("report.json");
        const QJsonObject settings = report["settings"].toObject();
        EXPECT_EQ(settings["latency_ms"].toInt(), 200);
        EXPECT_EQ(settings["predict"].toString(), predict);
        EXPECT_EQ(settings["gate_margin_px"].toDouble(-1), 0.0);
        const QJsonObject aim = report["aim_error_at_arrival_px"].toObject();
        for (const char* key : {"mean", "median", "p95", "max", "ticks"}) {
            EXPECT_TRUE(aim[key].isDouble()) << key;
        }
        meanAim[predict] = aim["mean"].toDouble();
        EXPECT_TRUE(run.output.contains("Aim error at arrival (px): mean")) << run.output.data();
        // The track says where the hit test aimed: ahead of the moving stone.
        QList<QByteArray> rows = readBytes("track.csv").split('\n');
        rows.removeFirst();
        int ahead = 0;
        for (const QByteArray& row : rows) {
            const QList<QByteArray> fields = row.split(',');
            ahead += fields.size() == 17 && fields[14] != fields[7] + ".000" ? 1 : 0;
        }
        EXPECT_EQ(ahead > 100, QString(predict) != "none") << ahead;
    }
    EXPECT_LT(meanAim["linear"], 0.8 * meanAim["none"]);
    EXPECT_LT(meanAim["kalman"], 0.8 * meanAim["none"]);
}

// The motion on the run's clock: 25 frames of the video to 40 ticks a
// second, so a breath every 3.5 s of the video comes every 2.19 s of the run.
TEST_F(Replay, TheReportGivesTheStonesMotionFromTheTrackAndTheTruth) {
    const ReplayRun run = replay({"--select", "207,205,21,19", "--quiet", "--log", "replay.log",
                                  "--truth", truth, "--report", "report.json", video});
    ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
    const QJsonObject motion = reportOf("report.json")["motion"].toObject();
    const QJsonObject byTruth = motion["truth"].toObject();
    const QJsonObject byTrack = motion["track"].toObject();
    const double breaths = 60.0 / (3.5 * 25.0 / 40.0);
    EXPECT_NEAR(byTruth["breaths_per_min"].toDouble(), breaths, 0.5);
    EXPECT_NEAR(byTrack["breaths_per_min"].toDouble(), breaths, 1.0);
    EXPECT_NEAR(byTruth["peak_to_peak_px"].toDouble(), 25.1, 0.5);
    EXPECT_NEAR(byTrack["peak_to_peak_px"].toDouble(), 25.1, 2.0);
    for (const QJsonObject& m : {byTruth, byTrack}) {
        EXPECT_GT(m["peak_speed_px_s"].toDouble(), 30.0);
        EXPECT_GT(m["on_focal_area_share"].toDouble(), 0.2);
        EXPECT_LT(m["on_focal_area_share"].toDouble(), 0.8);
        EXPECT_GT(m["in_plane_ticks"].toInt(), 400);
    }
    EXPECT_TRUE(run.output.contains("Motion (truth): ")) << run.output.data();
}

// The sweep's point at the run's own timing is the run itself; every point
// is in the report, and the picture goes beside the run's.
TEST_F(Replay, ASweepJudgesEveryLatencyAndPredictionOnce) {
    const ReplayRun run = replay({"--select", "207,205,21,19", "--quiet", "--log", "replay.log",
                                  "--truth", truth, "--report", "report.json", "--plot", "run.png",
                                  "--latency-sweep", "0:200:100", video});
    ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
    const QJsonObject report = reportOf("report.json");
    const QJsonArray sweep = report["sweep"].toArray();
    ASSERT_EQ(sweep.size(), 9);
    const QStringList order{"none", "linear", "kalman"};
    for (qsizetype i = 0; i < sweep.size(); ++i) {
        const QJsonObject point = sweep[i].toObject();
        EXPECT_EQ(point["latency_ms"].toInt(), 100 * (i / 3));
        EXPECT_EQ(point["predict"].toString(), order[i % 3]);
        EXPECT_TRUE(point["aim_error_at_arrival_px"].isObject());
    }
    EXPECT_EQ(sweep[0].toObject()["with_tracking"], report["with_tracking"]);
    EXPECT_EQ(sweep[0].toObject()["without_tracking"], report["without_tracking"]);
    EXPECT_TRUE(run.output.contains("\nLatency sweep at 100 shots/min")) << run.output.data();
    EXPECT_EQ(QImageReader("run-sweep.png").size(), sweepPlotSize);
    EXPECT_EQ(QImageReader("run.png").format(), "png");
}

} // namespace
