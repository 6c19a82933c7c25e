// SPDX-License-Identifier: GPL-3.0-or-later
// The trackers beside mean shift: their options, how well each follows the
// demo's stone, the confidence cut, and a comparison over one decoding that
// agrees with a run of each tracker alone.

#include "replay/replayOptions.h"
#include "tests/testSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace {

// Before the stone first leaves the plane (at about 3.9 s on the demo), where
// every tracker should hold it; and past that absence (to about 4.9 s).
const QString heldTicks = QStringLiteral("120");
const QString ticks = QStringLiteral("240");
const QStringList select{"--select", "207,205,21,19"};

class Trackers : public OnTheDemoVideo {};

using ReplayRun = ProgramOutput;

ReplayRun replay(const QStringList& arguments) {
    return runToEnd(TESSAVOLANT_REPLAY_BINARY, arguments, 300000);
}

QJsonObject reportOf(const QString& path) {
    return QJsonDocument::fromJson(readBytes(path.toStdString())).object();
}

// The track's rows as name -> field, header row dropped.
std::vector<std::map<QByteArray, double>> trackRows(const QString& path) {
    QList<QByteArray> lines = readBytes(path.toStdString()).split('\n');
    const QList<QByteArray> names = lines.takeFirst().split(',');
    std::vector<std::map<QByteArray, double>> rows;
    for (const QByteArray& line : lines) {
        if (line.isEmpty()) {
            continue;
        }
        const QList<QByteArray> fields = line.split(',');
        std::map<QByteArray, double> row;
        for (qsizetype i = 0; i < names.size() && i < fields.size(); ++i) {
            row[names[i]] = fields[i].toDouble();
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(TrackerOptions, NamesAndConfidencesAreChecked) {
    const QStringList base{"--select", "1,2,3,4", "--truth", "t.csv"};
    const struct {
        QStringList arguments;
        const char* named;
    } refused[] = {
        {{"--tracker", "camshift"}, "--tracker: expected meanshift, csrt, kcf, mil or template"},
        {{"--tracker", ""}, "--tracker"},
        {{"--lost-below", "1.5"}, "--lost-below: expected a confidence from 0 to 1"},
        {{"--lost-below", "-0.1"}, "--lost-below"},
        {{"--lost-below", "nan"}, "--lost-below"},
        {{"--lost-below", "half"}, "--lost-below"},
        {{"--compare-trackers", "csrt,boosting"}, "--compare-trackers"},
        {{"--compare-trackers", "csrt,csrt"}, "each once"},
        {{"--compare-trackers", ""}, "--compare-trackers"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ParsedReplayCommand command =
            parseReplayCommand(base + c.arguments + QStringList{"v.avi"});
        EXPECT_EQ(command.outcome, ParsedReplayCommand::Outcome::UsageError);
        EXPECT_TRUE(command.text.contains(c.named)) << command.text.toStdString();
    }
    const ParsedReplayCommand noTruth =
        parseReplayCommand({"--select", "1,2,3,4", "--compare-trackers", "kcf", "v.avi"});
    EXPECT_TRUE(noTruth.text.contains("needs --truth")) << noTruth.text.toStdString();

    const ParsedReplayCommand plain = parseReplayCommand(base + QStringList{"v.avi"});
    EXPECT_EQ(plain.options.trackers.tracker, TrackerKind::MeanShift);
    EXPECT_EQ(plain.options.trackers.lostBelow, 0.5);
    EXPECT_TRUE(plain.options.trackers.compared.empty());
    const ParsedReplayCommand chosen =
        parseReplayCommand(base + QStringList{"--tracker", "mil", "--lost-below", "0",
                                              "--compare-trackers", "template, kcf", "v.avi"});
    ASSERT_EQ(chosen.outcome, ParsedReplayCommand::Outcome::Run) << chosen.text.toStdString();
    EXPECT_EQ(chosen.options.trackers.tracker, TrackerKind::Mil);
    EXPECT_EQ(chosen.options.trackers.lostBelow, 0.0);
    EXPECT_EQ(chosen.options.trackers.compared,
              (std::vector<TrackerKind>{TrackerKind::Template, TrackerKind::Kcf}));
}

// One decoding for every tracker: each tracker holds the stone within a few
// pixels, a row is what a run of that tracker alone reports and says how sure
// it is in 0..1, and the run's own mean shift is not changed by the trackers
// beside it (its log is that of a plain run, to the byte). CSRT and MIL take
// seconds of every core for these ticks, so the runs alone are of the quick
// trackers: one of OpenCV's, the template and mean shift, which come after
// the slow ones in the comparison and so show that nothing carries over.
TEST_F(Trackers, AComparisonAgreesWithARunOfEachTrackerAlone) {
    const QStringList common =
        select + QStringList{"--quiet", "--ticks", heldTicks, "--truth", truth};
    const ReplayRun plain = replay(common + QStringList{"--log", "plain.log", video});
    ASSERT_EQ(plain.exitCode, 0) << plain.errors.constData();
    const ReplayRun compared = replay(
        common + QStringList{"--log", "compared.log", "--report", "compared.json",
                             "--compare-trackers", "csrt,kcf,mil,template,meanshift", video});
    ASSERT_EQ(compared.exitCode, 0) << compared.errors.constData();
    EXPECT_EQ(readBytes("compared.log"), readBytes("plain.log"));
    EXPECT_TRUE(compared.output.contains("\nTrackers at 0 ms latency")) << compared.output.data();
    const QJsonArray rows = reportOf("compared.json")["trackers"].toArray();
    ASSERT_EQ(rows.size(), 5);

    const struct {
        const char* tracker;
        double meanErrorPx; // at most
        bool runAlone;
    } cases[] = {{"csrt", 4.0, false},
                 {"kcf", 4.0, true},
                 {"mil", 5.0, false},
                 {"template", 3.0, true},
                 {"meanshift", 3.0, true}};
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.tracker);
        const QJsonObject row = rows[i].toObject();
        EXPECT_EQ(row["tracker"].toString(), c.tracker);
        EXPECT_LT(row["tracking_error_px"].toObject()["mean"].toDouble(), c.meanErrorPx);
        EXPECT_GT(row["ms_per_tick"].toDouble(), 0.0);
        if (!c.runAlone) {
            continue;
        }
        const QString name = QString::fromLatin1(c.tracker);
        const ReplayRun alone =
            replay(common + QStringList{"--log", name + ".log", "--tracker", name, "--report",
                                        name + ".json", "--track", name + ".csv", video});
        ASSERT_EQ(alone.exitCode, 0) << alone.errors.constData();
        const QJsonObject report = reportOf(name + ".json");
        EXPECT_EQ(report["settings"].toObject()["tracker"].toString(), name);
        const QJsonObject error = report["tracking_error_px"].toObject();
        EXPECT_DOUBLE_EQ(row["tracking_error_px"].toObject()["mean"].toDouble(),
                         error["mean"].toDouble());
        EXPECT_DOUBLE_EQ(row["tracking_error_px"].toObject()["p95"].toDouble(),
                         error["p95"].toDouble());
        EXPECT_EQ(row["plane_agreement"], report["plane_agreement"].toObject()["share"]);
        const QJsonObject shots = report["with_tracking"].toObject();
        EXPECT_EQ(row["shots_on_stone"].toInt(), shots["shots_on_stone"].toInt());
        EXPECT_EQ(row["tissue_shots"].toInt(), shots["tissue_shots"].toInt());

        const auto track = trackRows(name + ".csv");
        ASSERT_EQ(track.size(), static_cast<std::size_t>(heldTicks.toInt()));
        for (const auto& tick : track) {
            ASSERT_GE(tick.at("confidence"), 0.0);
            ASSERT_LE(tick.at("confidence"), 1.0);
        }
    }
}

// With every pixel above a low threshold counted as stone, the window's plane
// test never loses the stone; the confidence cut does when it leaves, and no
// shot is fired on a tick below it. The focal area is large enough to hold
// where the template match wanders while the stone is gone.
TEST_F(Trackers, TheConfidenceCutStopsShotsWhileTheStoneIsGone) {
    const QStringList common =
        select + QStringList{"--quiet", "--ticks",   ticks,      "--threshold",
                             "1",       "--focal",   "170,150",  "--focal-size",
                             "100,100", "--tracker", "template", video};
    std::map<QString, std::vector<std::map<QByteArray, double>>> tracks;
    for (const QString cut : {"0", "0.5"}) {
        const ReplayRun run = replay(
            QStringList{"--log", cut + ".log", "--track", cut + ".csv", "--lost-below", cut} +
            common);
        ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
        tracks[cut] = trackRows(cut + ".csv");
    }
    int cutTicks = 0;
    int hitsCut = 0;
    for (std::size_t i = 0; i < tracks["0.5"].size(); ++i) {
        const auto& kept = tracks["0"][i];
        const auto& cut = tracks["0.5"][i];
        EXPECT_EQ(kept.at("in_plane"), 1.0) << i;
        EXPECT_EQ(kept.at("confidence"), cut.at("confidence")) << i;
        if (cut.at("confidence") < 0.5) {
            ++cutTicks;
            EXPECT_EQ(cut.at("in_plane"), 0.0) << i;
            EXPECT_EQ(cut.at("hit"), 0.0) << i;
            hitsCut += static_cast<int>(kept.at("hit"));
        }
    }
    EXPECT_GT(cutTicks, 10);
    EXPECT_GT(hitsCut, 0);
}

TEST_F(Trackers, ATrackerThatCannotStartEndsTheRunWithoutTouchingTheTrack) {
    const struct {
        const char* tracker;
        const char* region;
    } cases[] = {{"csrt", "0,0,1,1"}, {"mil", "0,0,7,20"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tracker);
        QFile kept("track.csv");
        ASSERT_TRUE(kept.open(QIODevice::WriteOnly) && kept.write("kept\n") == 5);
        kept.close();
        const ReplayRun run = replay({"--select", c.region, "--quiet", "--ticks", "5", "--log",
                                      QString(c.tracker) + ".log", "--tracker", c.tracker,
                                      "--track", "track.csv", video});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.errors.contains(QStringLiteral("the %1 tracker cannot start on the marked "
                                                       "region %2")
                                            .arg(c.tracker, c.region)
                                            .toUtf8()))
            << run.errors.constData();
        EXPECT_EQ(readBytes("track.csv"), "kept\n");
    }
}

} // namespace
