// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>
// The replay judged by labels of focus instead of positions, and a second
// annotation measured against the first as the human baseline.

#include "evaluation/groundTruth.h"
#include "replay/replayOptions.h"
#include "tests/testSupport.h"
#include "tools/badInputs.h"
#include "tools/syntheticVideo.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr int latencyMs = 60; // the shot arrives on the tick two after its own

class TruthKinds : public OnTheDemoVideo {};

using ReplayEnd = ProgramOutput;

ReplayEnd replay(const QStringList& arguments) {
    return runToEnd(TESSAVOLANT_REPLAY_BINARY, arguments + QStringList{"--quiet"});
}

QJsonObject reportOf(const char* path) {
    return QJsonDocument::fromJson(readBytes(path)).object();
}

// Frames 0..449 labelled, in focus in runs of 3; the rest not annotated.
bool labelledInFocus(std::int64_t frame) {
    return (frame / 3) % 2 == 0;
}
constexpr std::int64_t labelledFrames = 450;

} // namespace

TEST(GroundTruth, TheReplayTakesPositionsOrLabelsOfFocus) {
    const struct {
        QByteArray text;
        int line; // 0: read
        const char* says;
    } cases[] = {
        {"frame,in_focus\n3,1\n4,0\n", 0, ""},
        {"frame,keyframe,note,in_focus\n3,1,x,1\n4,0,,0\n", 0, ""},
        // Positions stay positions; their in_focus is any other column.
        {"frame,centre_x,centre_y,in_focus\n3,1,2,yes\n", 0, ""},
        {"frame,in_focus\n3,1\n4,2\n", 3, "in_focus must be 1 or 0, not \"2\""},
        {"frame,keyframe,in_focus\n3,x,1\n", 2, "keyframe must be 1 or 0"},
        {"frame,in_focus\n12,1\n", 2, "beyond the video's last frame"},
        {"frame,in_focus\n3,1\n3,0\n", 3, "annotated twice (first on line 2)"},
        {"in_focus,note\n1,a\n", 1, "no column frame"},
        {"frame,in_plane\n3,1\n", 1,
         "must name at least frame,centre_x,centre_y or frame,in_focus"},
        {"frame,centre_x,in_focus\n3,1,1\n", 1, "no column centre_y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const Refusable<GroundTruth> reading =
            parseGroundTruth(c.text, "t.csv", 10, replayTruthRules);
        ASSERT_EQ(reading.ok(), c.line == 0)
            << (reading.ok() ? "" : reading.refusal().message.toStdString());
        if (!reading.ok()) {
            EXPECT_TRUE(refusedOnLine(reading.refusal(), "t.csv", c.line));
            EXPECT_TRUE(reading.refusal().message.contains(QLatin1String(c.says)))
                << reading.refusal().message.toStdString();
            continue;
        }
        const GroundTruth& truth = *reading;
        const bool focus = !c.text.contains("centre");
        EXPECT_EQ(truth.labelsFocusOnly(), focus);
        EXPECT_EQ(truth.at(3)->inFocus, focus);
        if (focus) {
            EXPECT_FALSE(truth.at(4)->inFocus);
            EXPECT_EQ(truth.at(3)->keyframe, c.text.contains("keyframe"));
        }
    }
}

// A shot is on the stone when the frame shown at its arrival is labelled in
// focus: recomputed here from the track, with the latency.
TEST_F(TruthKinds, LabelsOfFocusJudgeTheShotsAndLeaveThePositionsOut) {
    QByteArray labels = "frame,in_focus\n";
    for (std::int64_t frame = 0; frame < labelledFrames; ++frame) {
        labels += QByteArray::number(frame) + (labelledInFocus(frame) ? ",1\n" : ",0\n");
    }
    ASSERT_TRUE(badinputs::writeFile("focus.csv", labels.toStdString()));
    const ReplayEnd run = replay({"--select", "207,205,21,19", "--log", "replay.log", "--truth",
                                  "focus.csv", "--latency", QString::number(latencyMs), "--track",
                                  "track.csv", "--report", "report.json", video});
    ASSERT_EQ(run.exitCode, 0) << run.errors.constData();

    std::vector<std::pair<std::int64_t, bool>> shownAndHit; // per tick
    QList<QByteArray> rows = readBytes("track.csv").trimmed().split('\n');
    rows.removeFirst();
    for (const QByteArray& row : rows) {
        const QList<QByteArray> fields = row.split(',');
        ASSERT_EQ(fields.size(), 17);
        shownAndHit.emplace_back(fields[1].toLongLong() - 1, fields[12] == "1");
    }
    const std::size_t ahead = latencyMs / 25;
    std::int64_t fired = 0;
    std::int64_t onStone = 0;
    std::int64_t annotated = 0;
    for (std::size_t i = 0; i < shownAndHit.size(); ++i) {
        annotated += shownAndHit[i].first < labelledFrames ? 1 : 0;
        if (!shownAndHit[i].second || i + ahead >= shownAndHit.size()) {
            continue;
        }
        const std::int64_t arrival = shownAndHit[i + ahead].first;
        if (arrival < labelledFrames) {
            ++fired;
            onStone += labelledInFocus(arrival) ? 1 : 0;
        }
    }
    ASSERT_GT(fired, onStone);
    ASSERT_GT(onStone, 0);

    const QJsonObject report = reportOf("report.json");
    const QJsonObject withTracking = report["with_tracking"].toObject();
    EXPECT_EQ(withTracking["shots_fired"].toInteger(), fired);
    EXPECT_EQ(withTracking["shots_on_stone"].toInteger(), onStone);
    EXPECT_EQ(withTracking["tissue_shots"].toInteger(), fired - onStone);
    EXPECT_DOUBLE_EQ(withTracking["shot_efficiency"].toDouble(), double(onStone) / double(fired));
    EXPECT_TRUE(report["without_tracking"].toObject()["shot_efficiency"].isDouble());
    EXPECT_EQ(report["annotated_ticks"].toInteger(), annotated);
    EXPECT_EQ(report["truth_kind"].toString(), "in_focus");
    EXPECT_TRUE(report["left_out"].toString().contains("in-focus labels, not positions"));
    for (const char* figure : {"truth_in_plane_ticks", "tracking_error_px",
                               "aim_error_at_arrival_px", "plane_agreement"}) {
        EXPECT_FALSE(report.contains(figure)) << figure;
    }
    EXPECT_FALSE(report["motion"].toObject().contains("truth"));
    EXPECT_TRUE(report["motion"].toObject().contains("track"));

    for (const char* absent :
         {"Tracking error", "Plane agreement", "Motion (truth)", "in plane on"}) {
        EXPECT_FALSE(run.output.contains(absent)) << absent;
    }
    EXPECT_TRUE(run.output.contains("Judged by labels of focus: the truth gives in-focus labels"))
        << run.output.constData();
    EXPECT_TRUE(
        run.output.contains("On the stone      " + QByteArray::number(onStone).rightJustified(15)))
        << run.output.constData();
}

// Ticks 1..6 show frames 1..6. Of them both annotations have the stone in
// the plane on frames 1, 2, 4 and 6, apart by 5, 0, 10 and 13 px. Frames 0
// and 7.., far apart, are never shown.
TEST_F(TruthKinds, ASecondAnnotationIsMeasuredAgainstTheTruthOnTheTicksShown) {
    ASSERT_TRUE(badinputs::writeFile("first.csv", "frame,centre_x,centre_y,in_plane\n"
                                                  "0,100,100,1\n1,100,100,1\n2,100,100,1\n"
                                                  "3,100,100,1\n4,100,100,1\n5,100,100,1\n"
                                                  "6,100,100,1\n7,100,100,1\n"));
    const std::string second = "frame,centre_y,centre_x,in_plane,keyframe\n"
                               "0,200,100,1,1\n1,104,103,1,1\n2,100,100,1,0\n3,150,150,0,1\n"
                               "4,92,106,1,0\n6,88,105,1,1\n7,300,300,1,1\n";
    ASSERT_TRUE(badinputs::writeFile("second.csv", second));
    const ReplayEnd run =
        replay({"--select", "207,205,21,19", "--log", "replay.log", "--ticks", "6", "--truth",
                "first.csv", "--compare-truth", "second.csv", "--report", "report.json", video});
    ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
    const QJsonObject report = reportOf("report.json");
    const QJsonObject difference = report["observer_difference_px"].toObject();
    EXPECT_EQ(difference["ticks"].toInteger(), 4);
    EXPECT_DOUBLE_EQ(difference["mean"].toDouble(), 7.0);
    EXPECT_DOUBLE_EQ(difference["median"].toDouble(), 7.5);
    EXPECT_NEAR(difference["p95"].toDouble(), 12.55, 1e-9);
    EXPECT_DOUBLE_EQ(difference["max"].toDouble(), 13.0);
    EXPECT_EQ(report["tracking_error_px"].toObject().keys(), difference.keys());
    EXPECT_FALSE(report.contains("observer_difference_mm")) << "the recording is not calibrated";
    EXPECT_EQ(report["truth_kind"].toString(), "positions");
    const qsizetype tracking = run.output.indexOf("Tracking error (px): mean");
    const qsizetype observers =
        run.output.indexOf("Observer difference (px): mean 7.0  median 7.5  95th 12.");
    EXPECT_GE(tracking, 0) << run.output.constData();
    EXPECT_EQ(observers, run.output.indexOf('\n', tracking) + 1) << run.output.constData();
    EXPECT_EQ(readBytes("second.csv").toStdString(), second);

    // On pixels 0.5 mm wide and 0.25 mm high the largest difference, 5 px
    // across and 12 px down, spans hypot(2.5, 3) mm.
    const ReplayEnd calibrated =
        replay({"--select", "207,205,21,19", "--log", "mm.log", "--ticks", "6", "--truth",
                "first.csv", "--compare-truth", "second.csv", "--mm-per-pixel", "0.5,0.25",
                "--report", "mm.json", video});
    ASSERT_EQ(calibrated.exitCode, 0) << calibrated.errors.constData();
    const QJsonObject inMm = reportOf("mm.json")["observer_difference_mm"].toObject();
    EXPECT_EQ(inMm["ticks"].toInteger(), 4);
    EXPECT_NEAR(inMm["max"].toDouble(), std::hypot(2.5, 3.0), 1e-9);
    EXPECT_TRUE(calibrated.output.contains("Observer difference (mm): mean"))
        << calibrated.output.constData();
}

TEST(TruthKindsRefused, ASecondAnnotationIsRefusedWhereItCannotBeCompared) {
    TemporaryWorkingDirectory directory;
    SyntheticVideoSpec spec;
    spec.frames = 10;
    const QString video = QStringLiteral("tiny.avi");
    ASSERT_TRUE(writeSyntheticVideo(video.toStdString(), {}, spec));
    ASSERT_TRUE(badinputs::writeFile("positions.csv", "frame,centre_x,centre_y\n1,100,100\n"));
    ASSERT_TRUE(badinputs::writeFile("focus.csv", "frame,in_focus\n1,1\n"));
    ASSERT_TRUE(badinputs::writeFile("bad.csv", "frame,centre_x,centre_y\n1,100\n"));
    const QStringList select{"--select", "207,205,21,19", "--log", "replay.log"};
    const struct {
        QStringList arguments;
        int exitCode;
        const char* says;
    } cases[] = {
        {{"--compare-truth", "positions.csv"}, 2, "--compare-truth needs --truth"},
        {{"--truth", "positions.csv", "--compare-truth", ""},
         2,
         "--compare-truth: expected a file"},
        {{"--truth", "positions.csv", "--compare-truth", "focus.csv"},
         2,
         "\"focus.csv\" gives labels of focus only"},
        {{"--truth", "focus.csv", "--compare-truth", "positions.csv"},
         2,
         "\"focus.csv\" gives labels of focus only"},
        {{"--truth", "positions.csv", "--compare-truth", "bad.csv"},
         2,
         "bad.csv:2: the row has 2 fields, the header 3"},
        {{"--truth", "positions.csv", "--compare-truth", "positions.csv", "--report",
          "positions.csv"},
         2,
         "--report \"positions.csv\" is the same file as --truth"},
        {{"--truth", "focus.csv", "--compare-truth", "positions.csv", "--track", "positions.csv"},
         2,
         "--track \"positions.csv\" is the same file as --compare-truth"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ReplayEnd run = replay(select + c.arguments + QStringList{video});
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.errors.contains(c.says)) << run.errors.constData();
        EXPECT_TRUE(run.output.isEmpty()) << run.output.constData();
    }
    EXPECT_EQ(readBytes("positions.csv"), "frame,centre_x,centre_y\n1,100,100\n");
}
