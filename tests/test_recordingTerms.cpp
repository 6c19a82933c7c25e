// SPDX-License-Identifier: GPL-3.0-or-later
// The replay on the recording's terms: the size of a pixel, sizes in
// millimetres, and the clock that the ticks run on.

#include "evaluation/calibration.h"
#include "evaluation/trackCsv.h"
#include "log/ticks.h"
#include "replay/recordingTerms.h"
#include "replay/replayOptions.h"
#include "tests/programRun.h"
#include "tests/testSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const QStringList select{"--select", "207,205,21,19"};

ParsedReplayCommand parsed(const QStringList& options) {
    return parseReplayCommand(select + options + QStringList{"demo.avi"});
}

TEST(RecordingOptions, GoodValuesAreTakenAndBadOnesNamed) {
    const struct {
        QStringList options;
        const char* refusal; // nullptr: taken
    } cases[] = {
        {{"--mm-per-pixel", "0.25"}, nullptr},
        {{"--mm-per-pixel", "0.2,0.3"}, nullptr},
        {{"--mm-per-pixel", "0"}, "--mm-per-pixel: expected X or X,Y"},
        {{"--mm-per-pixel", "11"}, "each from 0.001 to 10"},
        {{"--mm-per-pixel", "nan"}, "--mm-per-pixel"},
        {{"--mm-per-pixel", "inf"}, "--mm-per-pixel"},
        {{"--mm-per-pixel", "0.1,0.2,0.3"}, "--mm-per-pixel"},
        {{"--mm-per-pixel", "0.1,"}, "--mm-per-pixel"},
        {{"--focal-size-mm", "4,5"}, nullptr},
        {{"--focal-size-mm", "4"}, "--focal-size-mm: expected W,H"},
        {{"--focal-size-mm", "0,5"}, "--focal-size-mm"},
        {{"--focal-size-mm", "4,5", "--focal-size", "20,20"}, "give one of them"},
        {{"--gate-margin-mm", "0.5"}, nullptr},
        {{"--gate-margin-mm", "-0.5"}, "--gate-margin-mm: expected a number of millimetres"},
        {{"--gate-margin-mm", "1", "--gate-margin", "1"}, "give one of them"},
        {{"--clock", "window"}, nullptr},
        {{"--clock", "recording"}, nullptr},
        {{"--clock", "40"}, nullptr},
        {{"--clock", "10000"}, nullptr},
        {{"--clock", "0"}, "--clock: expected window, recording or a whole number"},
        {{"--clock", "10001"}, "from 1 to 10000"},
        {{"--clock", "33.3"}, "--clock"},
        {{"--clock", "frames"}, "--clock"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        const ParsedReplayCommand command = parsed(c.options);
        if (!c.refusal) {
            EXPECT_EQ(command.outcome, ParsedReplayCommand::Outcome::Run)
                << command.text.toStdString();
        } else {
            EXPECT_EQ(command.outcome, ParsedReplayCommand::Outcome::UsageError);
            EXPECT_TRUE(command.text.contains(c.refusal)) << command.text.toStdString();
        }
    }
    const RecordingRequest request = parsed({"--mm-per-pixel", "0.2,0.3", "--focal-size-mm", "4,5",
                                             "--gate-margin-mm", "0.5", "--clock", "40"})
                                         .options.recording;
    ASSERT_TRUE(request.mmPerPixel && request.focalSizeMm && request.gateMarginMm);
    EXPECT_EQ(request.mmPerPixel->x, 0.2);
    EXPECT_EQ(request.mmPerPixel->y, 0.3);
    EXPECT_EQ(request.focalSizeMm->height, 5.0);
    EXPECT_EQ(*request.gateMarginMm, 0.5);
    EXPECT_EQ(request.clock.kind, ClockChoice::Kind::Fixed);
    EXPECT_EQ(request.clock.ms, 40);
    EXPECT_EQ(parsed({"--mm-per-pixel", "0.25"}).options.recording.mmPerPixel->y, 0.25);
}

TEST(RecordingTerms, MillimetresBecomePixelsOnlyWithACalibration) {
    RecordingInfo calibrated;
    calibrated.mmPerPixel = MmPerPixel{0.2, 0.25};
    calibrated.calibrationSource = QStringLiteral("Pixel Spacing");
    const RecordingInfo bare;
    const struct {
        const char* name;
        QStringList options;
        const RecordingInfo* info;
        int refusal; // 0: taken
        cv::Size focalSize;
        double gateMarginPx;
        QString source;
    } cases[] = {
        {"the recording's calibration",
         {"--focal-size-mm", "4,5"},
         &calibrated,
         0,
         {20, 20},
         0,
         "Pixel Spacing"},
        {"over it",
         {"--focal-size-mm", "4,5", "--mm-per-pixel", "0.1"},
         &calibrated,
         0,
         {40, 50},
         0,
         "--mm-per-pixel"},
        {"rounded to whole pixels",
         {"--focal-size-mm", "4.09,4.11"},
         &calibrated,
         0,
         {20, 16},
         0,
         "Pixel Spacing"},
        {"too small for the spin box", {"--focal-size-mm", "0.2,5"}, &calibrated, 2, {}, 0, {}},
        {"too large for it", {"--focal-size-mm", "30,5"}, &calibrated, 2, {}, 0, {}},
        {"the margin in the smaller pixels",
         {"--gate-margin-mm", "1"},
         &calibrated,
         0,
         {},
         5,
         "Pixel Spacing"},
        {"a margin past the area's middle", {"--gate-margin-mm", "2.1"}, &calibrated, 2, {}, 0, {}},
        {"a pixel margin within a focal area in mm",
         {"--gate-margin", "12", "--focal-size-mm", "6,6"},
         &calibrated,
         0,
         {30, 24},
         12,
         "Pixel Spacing"},
        {"a pixel margin past a focal area in mm",
         {"--gate-margin", "6", "--focal-size-mm", "2,2"},
         &calibrated,
         2,
         {},
         0,
         {}},
        {"no calibration for a size", {"--focal-size-mm", "4,5"}, &bare, 2, {}, 0, {}},
        {"no calibration for a margin", {"--gate-margin-mm", "1"}, &bare, 2, {}, 0, {}},
        {"no frame time for the recording's clock", {"--clock", "recording"}, &bare, 1, {}, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ParsedReplayCommand command = parsed(c.options);
        ASSERT_EQ(command.outcome, ParsedReplayCommand::Outcome::Run) << command.text.toStdString();
        const auto resolved = resolveRecording(command.options, *c.info);
        if (c.refusal != 0) {
            ASSERT_FALSE(resolved.ok());
            const Refusal& refusal = resolved.refusal();
            EXPECT_EQ(refusal.exitCode, c.refusal);
            EXPECT_TRUE(refusal.message.startsWith("--" + c.options[0].mid(2)))
                << refusal.message.toStdString();
            continue;
        }
        ASSERT_TRUE(resolved.ok()) << resolved.refusal().message.toStdString();
        const RecordingTerms& terms = *resolved;
        EXPECT_EQ(terms.calibrationSource, c.source);
        const RequestedSettings& settings = command.options.settings;
        if (!c.focalSize.empty()) {
            EXPECT_EQ(settings.focalSize, c.focalSize);
        }
        EXPECT_DOUBLE_EQ(settings.timing.gateMarginPx, c.gateMarginPx);
    }
}

TEST(Calibration, DistancesInMillimetresFollowEachAxisOwnPixelSize) {
    const MmPerPixel square{0.5, 0.5};
    const MmPerPixel tall{0.2, 0.4};
    EXPECT_DOUBLE_EQ(distanceMm(3, 4, square), 2.5);
    EXPECT_DOUBLE_EQ(distanceMm(3, 4, tall), std::hypot(0.6, 1.6));
    EXPECT_DOUBLE_EQ(distanceMm(0, -2, tall), 0.8);
    EXPECT_DOUBLE_EQ(shortestMm(5, tall), 1.0);
    EXPECT_DOUBLE_EQ(pixelsSpanning(1.0, tall), 5.0);
    TickRecord tick;
    tick.centreX = 217;
    tick.centreY = 213;
    EXPECT_EQ(withCentreInMmHeader("tick,centre_x\n"), "tick,centre_x,centre_x_mm,centre_y_mm\n");
    EXPECT_EQ(withCentreInMm("1,217\n", tick, tall), "1,217,43.400,85.200\n");
}

// The ticks' times in ms for frames 1, 2, 3, 4 shown one after the other.
TEST(RecordingTerms, TicksTakeTheTimeOfTheClockChosen) {
    RecordingInfo rated;
    rated.frameTimeMs = 50.0;
    RecordingInfo perFrame;
    perFrame.frameTimesMs = {0.0, 30.0, 40.0, 0.0};
    RecordingInfo ratedPerFrame = perFrame;
    ratedPerFrame.frameTimeMs = 45.0;
    const RecordingInfo bare;
    const struct {
        const char* name;
        ClockChoice choice;
        const RecordingInfo* info;
        std::vector<double> atMs; // empty: refused
        const char* clockName;
        double meanMs;
    } cases[] = {
        {"the window's", {}, &rated, {25, 50, 75, 100}, "window", 25},
        {"fixed", {ClockChoice::Kind::Fixed, 40}, &bare, {40, 80, 120, 160}, "fixed", 40},
        {"the recording's rate",
         {ClockChoice::Kind::Recording, 0},
         &rated,
         {50, 100, 150, 200},
         "recording",
         50},
        // A frame without a usable time of its own, and one past the list,
        // take the recording's frame time, else the mean of the list.
        {"per frame",
         {ClockChoice::Kind::Recording, 0},
         &perFrame,
         {30, 70, 105, 140},
         "recording per frame",
         35},
        {"per frame with a rate",
         {ClockChoice::Kind::Recording, 0},
         &ratedPerFrame,
         {30, 70, 115, 160},
         "recording per frame",
         35},
        {"none given", {ClockChoice::Kind::Recording, 0}, &bare, {}, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto times = tickTimesFor(c.choice, *c.info, QStringLiteral("\"a.avi\""));
        if (c.atMs.empty()) {
            ASSERT_FALSE(times.ok());
            EXPECT_TRUE(times.refusal().message.contains("\"a.avi\" gives no frame time"));
            EXPECT_TRUE(times.refusal().message.contains("--clock MS"));
            continue;
        }
        ASSERT_TRUE(times.ok()) << times.refusal().message.toStdString();
        const TickTimes& ticks = *times;
        EXPECT_EQ(ticks.clockName, c.clockName);
        EXPECT_DOUBLE_EQ(ticks.meanMs(), c.meanMs);
        ManualClock clock;
        const std::int64_t start = clock.now();
        ReplayClock replayClock(clock, ticks);
        for (std::size_t i = 0; i < c.atMs.size(); ++i) {
            const double seconds = replayClock.nextTick(static_cast<std::int64_t>(i) + 1);
            EXPECT_NEAR(seconds, c.atMs[i] / 1000.0, 1e-12) << "tick " << i + 1;
            // The window reads the same time off the tick source.
            EXPECT_EQ(elapsedMs(clock.now(), start), static_cast<std::int32_t>(c.atMs[i]));
        }
    }
}

QJsonObject reportOf(const std::string& path) {
    return QJsonDocument::fromJson(readBytes(path)).object();
}

// The track's rows split into fields, the header first.
std::vector<QList<QByteArray>> csvRows(const std::string& path) {
    std::vector<QList<QByteArray>> rows;
    for (const QByteArray& line : readBytes(path).split('\n')) {
        if (!line.isEmpty()) {
            rows.push_back(line.split(','));
        }
    }
    return rows;
}

class ReplayOnRecordingTerms : public testing::Test {
  protected:
    static void SetUpTestSuite() { videos = std::make_unique<TemporaryWorkingDirectory>(); }
    static void TearDownTestSuite() { videos.reset(); }

    // The shared demo video, or a short one at 20 frames a second ("slow")
    // made when first asked for, each with its truth.
    static QByteArray file(const std::string& name) {
        const std::string stem = name.substr(0, name.find('.'));
        if (stem == "demo") {
            const std::optional<DemoFiles> demo = sharedDemoVideo();
            EXPECT_TRUE(demo);
            return demo ? (name.ends_with(".csv") ? demo->truth : demo->video).toLocal8Bit()
                        : QByteArray();
        }
        const std::string path = videos->file(name);
        if (!QFile::exists(QString::fromStdString(videos->file(stem + ".avi")))) {
            SyntheticVideoSpec spec;
            if (stem == "slow") {
                spec.frames = 150;
                spec.fps = 20.0;
            }
            EXPECT_TRUE(writeSyntheticVideo(videos->file(stem + ".avi"),
                                            videos->file(stem + ".csv"), spec));
        }
        return QByteArray::fromStdString(path);
    }

    ProgramEnd replay(const QList<QByteArray>& arguments) {
        return runProgram(TESSAVOLANT_REPLAY_BINARY,
                          ProgramStart(QList<QByteArray>{"--select", "207,205,21,19", "--quiet",
                                                         "--log", "replay.log"} +
                                       arguments));
    }

    static inline std::unique_ptr<TemporaryWorkingDirectory> videos;
    TemporaryWorkingDirectory directory;
};

// Every distance of the report in millimetres is its figure in pixels times
// the pixel size, and the track gives the centre in both.
TEST_F(ReplayOnRecordingTerms, ACalibratedRunGivesMillimetresBesidePixels) {
    constexpr double mm = 0.25;
    const ProgramEnd run =
        replay({"--truth", file("demo.csv"), "--latency", "100", "--predict", "linear",
                "--mm-per-pixel", "0.25", "--gate-margin-mm", "0.5", "--report", "report.json",
                "--track", "track.csv", "--latency-sweep", "0:100:100", file("demo.avi")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
    const QJsonObject report = reportOf("report.json");
    const QJsonArray sweep = report["sweep"].toArray();
    ASSERT_EQ(sweep.size(), 6);
    for (const QJsonValue& point : sweep) {
        const QJsonObject px = point["aim_error_at_arrival_px"].toObject();
        const QJsonObject inMm = point["aim_error_at_arrival_mm"].toObject();
        EXPECT_NEAR(inMm["p95"].toDouble(), px["p95"].toDouble() * mm, 1e-9);
        EXPECT_EQ(inMm["ticks"].toInt(), px["ticks"].toInt());
    }
    const QJsonObject settings = report["settings"].toObject();
    EXPECT_EQ(settings["mm_per_pixel"].toArray(), (QJsonArray{mm, mm}));
    EXPECT_EQ(settings["calibration_source"].toString(), "--mm-per-pixel");
    EXPECT_DOUBLE_EQ(settings["gate_margin_px"].toDouble(), 2.0);
    EXPECT_DOUBLE_EQ(settings["gate_margin_mm"].toDouble(), 0.5);
    const QJsonObject focal = settings["focal_area"].toObject();
    const QJsonObject focalMm = settings["focal_area_mm"].toObject();
    EXPECT_DOUBLE_EQ(focalMm["width"].toDouble(), focal["width"].toDouble() * mm);
    EXPECT_DOUBLE_EQ(focalMm["height"].toDouble(), focal["height"].toDouble() * mm);
    for (const char* error : {"tracking_error", "aim_error_at_arrival"}) {
        SCOPED_TRACE(error);
        const QJsonObject px = report[QString(error) + "_px"].toObject();
        const QJsonObject inMm = report[QString(error) + "_mm"].toObject();
        EXPECT_EQ(inMm["ticks"].toInt(), px["ticks"].toInt());
        EXPECT_GT(px["ticks"].toInt(), 400);
        for (const char* key : {"mean", "median", "p95", "max"}) {
            EXPECT_NEAR(inMm[key].toDouble(), px[key].toDouble() * mm, 1e-9) << key;
            EXPECT_GT(px[key].toDouble(), 0.0) << key;
        }
    }
    const QJsonObject motion = report["motion"].toObject();
    for (const char* whose : {"track", "truth"}) {
        SCOPED_TRACE(whose);
        const QJsonObject m = motion[whose].toObject();
        EXPECT_NEAR(m["peak_to_peak_mm"].toDouble(), m["peak_to_peak_px"].toDouble() * mm, 1e-6);
        EXPECT_NEAR(m["peak_speed_mm_s"].toDouble(), m["peak_speed_px_s"].toDouble() * mm, 1e-6);
        EXPECT_GT(m["peak_to_peak_px"].toDouble(), 20.0);
    }
    EXPECT_TRUE(run.output.contains("Tracking error (mm): mean ")) << run.output.constData();
    EXPECT_TRUE(run.output.contains("Aim error at arrival (mm): mean ")) << run.output.constData();

    const std::vector<QList<QByteArray>> rows = csvRows("track.csv");
    ASSERT_GT(rows.size(), 500u);
    const QList<QByteArray>& header = rows.front();
    ASSERT_EQ(header.size(), 19);
    EXPECT_EQ(header[7], "centre_x");
    EXPECT_EQ(header[17], "centre_x_mm");
    EXPECT_EQ(header[18], "centre_y_mm");
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 19) << "row " << i;
        EXPECT_EQ(rows[i][17], QByteArray::number(rows[i][7].toInt() * mm, 'f', 3)) << "row " << i;
        EXPECT_EQ(rows[i][18], QByteArray::number(rows[i][8].toInt() * mm, 'f', 3)) << "row " << i;
    }
}

// Every time the log stamps and the track gives lies on the chosen clock's
// ticks, and the report says which clock it was.
TEST_F(ReplayOnRecordingTerms, TheLogAndTheTrackRunOnTheChosenClock) {
    const struct {
        const char* name;
        QByteArray clock;
        const char* video;
        const char* truth;
        double stepSeconds;
        const char* clockName;
        double frameTimeMs;
    } cases[] = {
        {"a fixed 40 ms", "40", "slow.avi", "slow.csv", 0.040, "fixed", 50.0},
        {"the recording's 20 frames a second", "recording", "slow.avi", "slow.csv", 0.050,
         "recording", 50.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramEnd run =
            replay({"--clock", c.clock, "--ticks", "120", "--truth", file(c.truth), "--report",
                    "report.json", "--track", "track.csv", file(c.video)});
        ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
        const std::vector<QList<QByteArray>> rows = csvRows("track.csv");
        ASSERT_EQ(rows.size(), 121u);
        EXPECT_EQ(rows.front().size(), 17) << "no millimetres without a calibration";
        for (std::size_t i = 1; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i][2],
                      QByteArray::number(static_cast<double>(i) * c.stepSeconds, 'f', 3))
                << "tick " << i;
        }
        int stamps = 0;
        double last = 0.0;
        for (const QByteArray& line : readBytes("replay.log").split('\n')) {
            bool ok = false;
            const double at = line.left(line.indexOf(':')).toDouble(&ok);
            if (ok) {
                ++stamps;
                last = std::max(last, at);
                const double ticks = at / c.stepSeconds;
                EXPECT_NEAR(ticks, std::round(ticks), 1e-6) << line.constData();
            }
        }
        EXPECT_GT(stamps, 5);
        EXPECT_NEAR(last, 120 * c.stepSeconds, 1e-9);
        const QJsonObject report = reportOf("report.json");
        const QJsonObject settings = report["settings"].toObject();
        EXPECT_EQ(settings["clock"].toString(), c.clockName);
        EXPECT_DOUBLE_EQ(settings["tick_ms"].toDouble(), c.stepSeconds * 1000.0);
        EXPECT_DOUBLE_EQ(settings["frame_time_ms"].toDouble(), c.frameTimeMs);
        EXPECT_TRUE(settings["mm_per_pixel"].isNull());
        EXPECT_FALSE(report.contains("tracking_error_mm"));
        EXPECT_DOUBLE_EQ(report["seconds"].toDouble(), 120 * c.stepSeconds);
    }
}

// A tick longer than the shot period is said once on stderr, before the run,
// and listed in the report's warnings; a tick no longer than it is not.
TEST_F(ReplayOnRecordingTerms, ATickLongerThanTheShotPeriodIsWarnedAbout) {
    const struct {
        QByteArray clock;
        QByteArray rate;
        const char* warning; // nullptr: none
    } cases[] = {
        {"600", "160",
         "Each tick lasts 600 ms, longer than the 375 ms from shot to shot at 160 "
         "shots/min"},
        {"375", "160", nullptr},
        {"858", "70", "longer than the 857.143 ms from shot to shot at 70 shots/min"},
        {"857", "70", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clock.constData());
        const ProgramEnd run =
            replay({"--clock", c.clock, "--rate", c.rate, "--ticks", "20", "--truth",
                    file("slow.csv"), "--report", "report.json", file("slow.avi")});
        ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
        // Beside the run's other warnings (too few shots in 20 ticks).
        QStringList tickWarnings;
        for (const QJsonValue& warning : reportOf("report.json")["warnings"].toArray()) {
            if (warning.toString().startsWith("Each tick lasts")) {
                tickWarnings << warning.toString();
            }
        }
        if (!c.warning) {
            EXPECT_TRUE(tickWarnings.isEmpty());
            EXPECT_FALSE(run.errors.contains("Each tick lasts")) << run.errors.constData();
            continue;
        }
        ASSERT_EQ(tickWarnings.size(), 1);
        const QString& sentence = tickWarnings.first();
        EXPECT_TRUE(sentence.contains(QLatin1String(c.warning))) << sentence.toStdString();
        EXPECT_EQ(run.errors.count(sentence.toUtf8()), 1) << run.errors.constData();
    }
}

TEST_F(ReplayOnRecordingTerms, MillimetresWithoutACalibrationAreAUsageError) {
    const ProgramEnd run = replay({"--focal-size-mm", "4,4", file("slow.avi")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.errors.contains("--focal-size-mm needs a calibration")) << run.errors.data();
    EXPECT_TRUE(run.errors.contains("--mm-per-pixel")) << run.errors.data();
    EXPECT_FALSE(QFile::exists("replay.log")) << "refused before anything is written";
}

} // namespace
