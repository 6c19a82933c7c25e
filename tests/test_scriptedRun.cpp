// SPDX-License-Identifier: GPL-3.0-or-later
// A whole treatment run as a user would make it, on the demo video: mark the
// stone with the mouse on the processed view, start
// logging, play until the video has looped, change the shot rate once and close
// the window. The event log is then checked line by line against the stone's
// true path.

#include "app/MainWindow.h"
#include "log/ticks.h"
#include "tests/testSupport.h"
#include "tracking/VideoImage.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>
#include <QGraphicsView>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTimer>
#include <QtTest/QTest>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <vector>

namespace {

constexpr double tickMs = 25.0;
// The marked region, centred on the stone of frame 1.
constexpr int markedWidth = 24;
constexpr int markedHeight = 20;
// The rate is raised from 100 to 120 shots per minute before this tick.
constexpr int rateChangeTick = 300;
constexpr int newRate = 120;
// The run ends when the second pass through the video reaches this frame.
constexpr int lastFrameOfSecondPass = 500;
// Frames by which a plane event may lag or lead the true one: the stone fades
// out and in over four frames.
constexpr int planeSlackFrames = 3;
// Pixels by which the true centre may lie off the focal area when a shot is
// fired on the tracked one.
constexpr double hitSlackPx = 3.0;

struct TruthRow {
    double x = 0;
    double y = 0;
    bool inPlane = false;
};

std::vector<TruthRow> readGroundTruth(const std::string& path) {
    std::ifstream csv(path);
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "frame,centre_x,centre_y,in_plane");
    std::vector<TruthRow> rows;
    while (std::getline(csv, line)) {
        std::istringstream fields(line);
        fields.imbue(std::locale::classic());
        int frame = 0;
        int inPlane = 0;
        char comma = 0;
        TruthRow row;
        fields >> frame >> comma >> row.x >> comma >> row.y >> comma >> inPlane;
        row.inPlane = inPlane == 1;
        EXPECT_EQ(frame, static_cast<int>(rows.size()));
        rows.push_back(row);
    }
    return rows;
}

// One call of the frame cycle.
struct TickRecord {
    int stampMs = 0; // since start-up, as the log stamps it
    int frame = -1;  // index of the frame shown
    double area = 0;
    cv::Rect window;
    int centreX = 0;
    int centreY = 0;
};

enum class Row {
    ShotPeriod,
    OpenedFile,
    Initialised,
    Empty,
    TrackingStarted,
    LeftPlane,
    EnteredPlane,
    IntervalStarts,
    IntervalEnds,
    Hit,
    RateChanged,
    ShotsWithoutTracking,
    ShotsWithTracking,
    ProgramEnded,
};

struct LogLine {
    Row row;
    int stampMs = 0;
    QStringList values; // the numbers after the stamp
    QByteArray bytes;
};

// The event log, parsed; a line of no known kind fails the test.
std::vector<LogLine> parseLog(const QList<QByteArray>& lines, const QString& videoPath) {
    const QString stamp = R"(^(\d+\.\d{6}))";
    const QString real = R"((\d+\.\d{6}))";
    const std::pair<Row, QRegularExpression> kinds[] = {
        {Row::ShotPeriod,
         QRegularExpression(stamp + ": Antall ms mellom hvert skudd er " + real + " $")},
        {Row::OpenedFile, QRegularExpression(stamp + R"(: \x{c5}pnet fil  )" +
                                             QRegularExpression::escape(videoPath) + " $")},
        {Row::Initialised, QRegularExpression(stamp + ": Initiering fullfort$")},
        {Row::TrackingStarted, QRegularExpression(stamp + "Starter tracking$")},
        {Row::LeftPlane, QRegularExpression(stamp + ": Ut av planet$")},
        {Row::EnteredPlane, QRegularExpression(stamp + R"(: Inn i planet\. Var ute av plan i )" +
                                               real + " sekunder$")},
        {Row::IntervalStarts, QRegularExpression(stamp + ": Skudd intervall starter$")},
        {Row::IntervalEnds, QRegularExpression(stamp + ": Skudd intervall slutter$")},
        {Row::Hit, QRegularExpression(stamp + R"(: Skudd treffer\. Det er (\d+) )" +
                                      "millisekunder siden forrige treff$")},
        {Row::RateChanged, QRegularExpression(stamp + ": Skuddfrekvens endret til " + real +
                                              R"(ms og (\d+)skudd per min$)")},
        {Row::ShotsWithoutTracking,
         QRegularExpression(stamp +
                            R"(: Totalt skudd i tracking periode uten tracking med (\d+) )" +
                            R"(skudd per min er (\d+) p\x{e5}  )" + real + " sekunder$")},
        {Row::ShotsWithTracking,
         QRegularExpression(stamp + R"( : P\x{e5} denne tiden ble (\d+) )" +
                            R"(skudd gjennomf\x{f8}rt i brennpunkt med tracking p\x{e5}$)")},
        {Row::ProgramEnded, QRegularExpression(stamp + ": Programmet avsluttet$")},
    };
    std::vector<LogLine> parsed;
    for (const QByteArray& bytes : lines) {
        if (bytes.isEmpty()) {
            parsed.push_back({Row::Empty, parsed.empty() ? 0 : parsed.back().stampMs, {}, bytes});
            continue;
        }
        // The texts are Latin-1 bytes: read as Latin-1, the line must match.
        const QString line = QString::fromLatin1(bytes);
        bool known = false;
        for (const auto& [row, pattern] : kinds) {
            const QRegularExpressionMatch match = pattern.match(line);
            if (match.hasMatch()) {
                parsed.push_back(
                    {row, static_cast<int>(std::llround(match.captured(1).toDouble() * 1000)),
                     match.capturedTexts().mid(2), bytes});
                known = true;
                break;
            }
        }
        EXPECT_TRUE(known) << "malformed log line: " << bytes.constData() << " ["
                           << bytes.toHex(' ').constData() << "]";
    }
    return parsed;
}

// Everything a run leaves behind for the checks.
struct TreatmentRun {
    TemporaryWorkingDirectory directory;
    SyntheticVideoSpec demoVideo; // the defaults make the demo video
    QString videoPath;
    std::vector<TruthRow> truth;
    int frameCount = 0;
    QRect marked;
    QRect markedSelection;
    int stateAfterMarking = 0;
    int stateAfterRun = 0;
    QRect focalArea; // right and bottom inclusive
    std::vector<TickRecord> ticks;
    int msBeforeRateChange = 0;
    int finalHits = 0;
    QList<QByteArray> lines;
    std::vector<LogLine> log;

    void play();

    std::vector<const LogLine*> rows(Row row) const {
        std::vector<const LogLine*> found;
        for (const LogLine& line : log) {
            if (line.row == row) {
                found.push_back(&line);
            }
        }
        return found;
    }
    // The tick on which a line was written (the manual clock stands still
    // within a tick, so the stamp names the tick).
    const TickRecord* tickOf(const LogLine& line) const {
        for (const TickRecord& tick : ticks) {
            if (tick.stampMs == line.stampMs) {
                return &tick;
            }
        }
        return nullptr;
    }
    std::size_t indexOf(const TickRecord* tick) const {
        return static_cast<std::size_t>(tick - ticks.data());
    }
    bool stoneOnFocalArea(int frame, double slack) const {
        const TruthRow& stone = truth.at(frame);
        return stone.x >= focalArea.left() - slack && stone.x <= focalArea.right() + slack &&
               stone.y >= focalArea.top() - slack && stone.y <= focalArea.bottom() + slack;
    }
    std::string trace() const;
};

void TreatmentRun::play() {
    ManualClock clock;
    ScopedTickSource useClock(clock);
    const std::optional<DemoFiles> demo = sharedDemoVideo();
    ASSERT_TRUE(demo);
    videoPath = demo->video;
    truth = readGroundTruth(demo->truth.toStdString());
    ASSERT_EQ(truth.size(), 600u);
    {
        MainWindow window(nullptr, videoPath);
        ASSERT_TRUE(window.isReady());
        window.timer->stop();
        frameCount = window.frameCount;
        // On a screen wide enough for the demo unscaled, every image pixel
        // has a pointer position of its own.
        window.layOutVideo(QSize(1920, 1200));
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // A paused tick shows the first frame, as the frame clock has done by
        // the time the user reaches for the mouse.
        clock.advanceMs(tickMs);
        window.OpenCVMeanShift();
        QCoreApplication::processEvents();

        // Mark the stone of frame 1 on the processed view with the mouse.
        const int left = static_cast<int>(std::lround(truth.at(1).x)) - markedWidth / 2;
        const int top = static_cast<int>(std::lround(truth.at(1).y)) - markedHeight / 2;
        marked = QRect(left, top, markedWidth, markedHeight);
        QGraphicsView* view = window.ui->dataView;
        const auto at = [view](int x, int y) { return view->mapFromScene(QPointF(x, y)); };
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at(left, top));
        QTest::mouseMove(view->viewport(), at(left + markedWidth / 2, top + markedHeight / 2));
        // The pointer's own column and row are left out of the region.
        QTest::mouseMove(view->viewport(), at(left + markedWidth, top + markedHeight));
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {},
                            at(left + markedWidth, top + markedHeight));
        markedSelection = window.dataScene->selection;
        stateAfterMarking = window.dataScene->selectionState;

        QTest::mouseClick(window.ui->startLoggButton, Qt::LeftButton);
        QTest::mouseClick(window.ui->startButton, Qt::LeftButton);

        int shownFrame = -1;
        QObject::connect(&window, &MainWindow::updateVideoSlider,
                         [&shownFrame](int position) { shownFrame = position - 1; });
        bool wrapped = false;
        for (int tick = 0; tick < 3 * frameCount; ++tick) {
            if (tick == rateChangeTick) {
                msBeforeRateChange = ticks.back().stampMs;
                window.ui->skuddPerMinBox->setValue(newRate);
            }
            clock.advanceMs(tickMs);
            const int previousFrame = shownFrame;
            window.OpenCVMeanShift();
            TickRecord record;
            record.stampMs = static_cast<int>(
                std::llround(elapsedSeconds(window.startTick, clock.now()) * 1000));
            record.frame = shownFrame;
            record.area = window.trackComp.area;
            record.window = window.trackWindow;
            record.centreX = window.trackCenterX;
            record.centreY = window.trackCenterY;
            ticks.push_back(record);
            wrapped = wrapped || (previousFrame >= 0 && shownFrame < previousFrame);
            if (wrapped && shownFrame >= lastFrameOfSecondPass) {
                break;
            }
        }
        stateAfterRun = window.dataScene->selectionState;
        focalArea = QRect(QPoint(window.brennpunktX, window.brennpunktY),
                          QPoint(window.brennpunktX + window.brennpunktRect.width,
                                 window.brennpunktY + window.brennpunktRect.height));
        finalHits = window.antallSkudd;
        window.close();
        clock.advanceMs(tickMs);
    }
    lines = logLines();
    log = parseLog(lines, videoPath);
}

std::string TreatmentRun::trace() const {
    std::ostringstream out;
    out << "stamp ms: frame (true centre, in plane) -> tracked centre, area\n";
    for (const TickRecord& t : ticks) {
        const TruthRow& row = truth.at(t.frame);
        out << t.stampMs << ": " << t.frame << " (" << row.x << ", " << row.y << ", " << row.inPlane
            << ") -> (" << t.centreX << ", " << t.centreY << "), " << t.area << "\n";
    }
    out << "log:\n";
    for (const QByteArray& line : lines) {
        out << line.constData() << "\n";
    }
    return out.str();
}

// ---------------------------------------------------------------------------
// The checks, one aspect of the run each.

void checkMarkingAndPlayback(const TreatmentRun& run) {
    EXPECT_EQ(run.markedSelection, run.marked);
    EXPECT_EQ(run.stateAfterMarking, -1);
    EXPECT_EQ(run.stateAfterRun, 1);
    ASSERT_EQ(run.frameCount, 600);
    // Frames 1 .. 598, then 1 again: the last frame and frame 0 are not shown.
    int expected = 1;
    for (const TickRecord& t : run.ticks) {
        ASSERT_EQ(t.frame, expected) << "at " << t.stampMs << " ms";
        expected = expected == run.frameCount - 2 ? 1 : expected + 1;
    }
    EXPECT_EQ(run.ticks.back().frame, lastFrameOfSecondPass);
}

void checkEveryLine(const TreatmentRun& run) {
    const std::vector<LogLine>& log = run.log;
    ASSERT_EQ(static_cast<qsizetype>(log.size()), run.lines.size());
    ASSERT_GE(log.size(), 8u);
    EXPECT_EQ(log[0].row, Row::ShotPeriod);
    EXPECT_EQ(log[0].values.value(0), "600.000000");
    EXPECT_EQ(log[1].row, Row::OpenedFile);
    EXPECT_EQ(log[2].row, Row::Initialised);
    EXPECT_EQ(log[3].row, Row::Empty);
    EXPECT_EQ(log[log.size() - 3].row, Row::ShotsWithoutTracking);
    EXPECT_EQ(log[log.size() - 2].row, Row::ShotsWithTracking);
    EXPECT_EQ(log.back().row, Row::ProgramEnded);
    EXPECT_TRUE(run.lines.last().endsWith(": Programmet avsluttet"));
    EXPECT_FALSE(run.lines.join('\n').contains('\r'));
    for (std::size_t i = 4; i + 3 < log.size(); ++i) {
        SCOPED_TRACE(log[i].bytes.constData());
        EXPECT_NE(log[i].row, Row::Empty);
        EXPECT_GE(log[i].stampMs, log[i - 1].stampMs);
        // Every event of the run happens in a tick of the frame cycle, except
        // the change of rate, which the spin box makes between two ticks.
        if (log[i].row == Row::RateChanged) {
            EXPECT_EQ(log[i].stampMs, run.msBeforeRateChange);
        } else {
            EXPECT_NE(run.tickOf(log[i]), nullptr);
        }
    }

    const auto started = run.rows(Row::TrackingStarted);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0]->stampMs, run.ticks.front().stampMs);
    const auto rateChanges = run.rows(Row::RateChanged);
    ASSERT_EQ(rateChanges.size(), 1u);
    EXPECT_TRUE(rateChanges[0]->bytes.endsWith(
        ": Skuddfrekvens endret til 500.000000ms og 120skudd per min"));
}

void checkPlaneEvents(const TreatmentRun& run) {
    const auto exits = run.rows(Row::LeftPlane);
    const auto entries = run.rows(Row::EnteredPlane);
    ASSERT_FALSE(entries.empty());

    // Until the first tracking tick the stone counts as out of the plane, since start-up.
    EXPECT_EQ(entries[0]->stampMs, run.ticks.front().stampMs);
    EXPECT_NEAR(entries[0]->values.value(0).toDouble() * 1000, run.ticks.front().stampMs, 0.5);

    // The first frame of each trip out of the plane, in the order the run met them.
    std::vector<std::size_t> trips;
    for (std::size_t i = 1; i < run.ticks.size(); ++i) {
        if (!run.truth.at(run.ticks[i].frame).inPlane &&
            run.truth.at(run.ticks[i - 1].frame).inPlane) {
            trips.push_back(i);
        }
    }
    ASSERT_EQ(trips.size(), 4u) << "both trips out of the plane, on both passes";
    ASSERT_EQ(exits.size(), trips.size()) << run.trace();
    ASSERT_EQ(entries.size(), trips.size() + 1) << run.trace();

    for (std::size_t k = 0; k < trips.size(); ++k) {
        const TickRecord& tripStart = run.ticks[trips[k]];
        SCOPED_TRACE(testing::Message() << "trip out of the plane from frame " << tripStart.frame
                                        << " at " << tripStart.stampMs << " ms");
        const TickRecord* out = run.tickOf(*exits[k]);
        const TickRecord* in = run.tickOf(*entries[k + 1]);
        ASSERT_NE(out, nullptr);
        ASSERT_NE(in, nullptr);
        EXPECT_NEAR(static_cast<double>(run.indexOf(out)), static_cast<double>(trips[k]),
                    planeSlackFrames);

        // Mean shift leaves the window where the stone faded out. The stone is
        // back when it is in the plane again and reaches into that window.
        const cv::Rect left = out->window;
        std::size_t back = run.indexOf(out) + 1;
        for (; back < run.ticks.size(); ++back) {
            const int frame = run.ticks[back].frame;
            const TruthRow& stone = run.truth.at(frame);
            const double halfWidth = run.demoVideo.stoneWidth / 2.0;
            const double halfHeight = run.demoVideo.stoneHeight / 2.0;
            if (stone.inPlane && stone.x + halfWidth >= left.x &&
                stone.x - halfWidth <= left.x + left.width && stone.y + halfHeight >= left.y &&
                stone.y - halfHeight <= left.y + left.height) {
                break;
            }
        }
        ASSERT_LT(back, run.ticks.size());
        EXPECT_NEAR(static_cast<double>(run.indexOf(in)), static_cast<double>(back),
                    planeSlackFrames)
            << "the stone is back in view at frame " << run.ticks[back].frame
            << ", the log says at frame " << in->frame;

        // The entry states the time since the exit.
        EXPECT_NEAR(entries[k + 1]->values.value(0).toDouble() * 1000, in->stampMs - out->stampMs,
                    0.5);
    }
}

void checkIntervalsAndHits(const TreatmentRun& run) {
    bool open = false;
    int starts = 0;
    int hits = 0;
    int previousHitMs = 0; // the shot clock runs from start-up
    for (const LogLine& line : run.log) {
        SCOPED_TRACE(line.bytes.constData());
        switch (line.row) {
        case Row::IntervalStarts:
            EXPECT_FALSE(open);
            open = true;
            ++starts;
            break;
        case Row::IntervalEnds:
            EXPECT_TRUE(open);
            open = false;
            break;
        case Row::Hit: {
            EXPECT_TRUE(open);
            ++hits;
            const int period = line.stampMs > run.msBeforeRateChange ? 500 : 600;
            EXPECT_GE(line.stampMs - previousHitMs, period);
            EXPECT_NEAR(line.values.value(0).toInt(), line.stampMs - previousHitMs, 1);
            previousHitMs = line.stampMs;
            // The shot is fired on the stone: it is in view on the focal area.
            const TickRecord* tick = run.tickOf(line);
            ASSERT_NE(tick, nullptr);
            EXPECT_GT(stoneAt(run.demoVideo, tick->frame).visibility, 0.0);
            EXPECT_TRUE(run.stoneOnFocalArea(tick->frame, hitSlackPx))
                << "frame " << tick->frame << ": the stone is at (" << run.truth[tick->frame].x
                << ", " << run.truth[tick->frame].y << ")";
            break;
        }
        default:
            break;
        }
    }

    // Every breath takes the stone off the focal area and back: count how often
    // the true stone comes onto it while it can be seen at all (a half-faded
    // stone is still tracked).
    int arrivals = 0;
    bool on = false;
    for (const TickRecord& tick : run.ticks) {
        // Half a pixel of slack: the tracked centre is a whole pixel.
        const bool now = stoneAt(run.demoVideo, tick.frame).visibility > 0.0 &&
                         run.stoneOnFocalArea(tick.frame, 0.5);
        arrivals += now && !on ? 1 : 0;
        on = now;
    }
    EXPECT_NEAR(starts, arrivals, 1) << run.trace();
    EXPECT_GT(hits, 0);
}

void checkSummary(const TreatmentRun& run) {
    const auto without = run.rows(Row::ShotsWithoutTracking);
    const auto with = run.rows(Row::ShotsWithTracking);
    ASSERT_EQ(without.size(), 1u);
    ASSERT_EQ(with.size(), 1u);
    const int hits = static_cast<int>(run.rows(Row::Hit).size());
    const int trackingStartMs = run.rows(Row::TrackingStarted).at(0)->stampMs;
    const int trackingMs = without[0]->stampMs - trackingStartMs;

    EXPECT_EQ(without[0]->values.value(0).toInt(), newRate);
    const int shotsWithout = without[0]->values.value(1).toInt();
    EXPECT_EQ(shotsWithout, trackingMs / 500);
    EXPECT_NEAR(without[0]->values.value(2).toDouble() * 1000, trackingMs, 0.5);
    EXPECT_EQ(with[0]->stampMs, without[0]->stampMs);
    EXPECT_EQ(with[0]->values.value(0).toInt(), hits);
    EXPECT_EQ(run.finalHits, hits);
    EXPECT_LE(hits, shotsWithout);
    EXPECT_EQ(run.log.back().stampMs, without[0]->stampMs);
}

TEST(ScriptedRun, ATreatmentOfTheDemoVideoLogsWhatHappenedToTheStone) {
    TreatmentRun run;
    run.play();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_FALSE(run.ticks.empty());
    {
        SCOPED_TRACE("marking and playback");
        checkMarkingAndPlayback(run);
    }
    {
        SCOPED_TRACE("every line");
        checkEveryLine(run);
    }
    {
        SCOPED_TRACE("leaving and entering the plane");
        checkPlaneEvents(run);
    }
    {
        SCOPED_TRACE("shot intervals and hits");
        checkIntervalsAndHits(run);
    }
    {
        SCOPED_TRACE("summary");
        checkSummary(run);
    }
}

} // namespace
