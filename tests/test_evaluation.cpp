// SPDX-License-Identifier: GPL-3.0-or-later
#include <QFile>
#include <QImageReader>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "evaluation/evaluation.h"
#include "evaluation/figureText.h"
#include "evaluation/groundTruth.h"
#include "report/evaluationReport.h"
#include "report/runPlot.h"
#include "simulation/shotClock.h"
#include "tests/testSupport.h"

namespace {

// Focal area x 200..220, y 200..220 (edges included); at 160 shots per minute
// the period is 375 ms, 15 ticks, so the fixed focus, counting from the start
// of tracking on tick 1, fires on tick 16.
RunSettings handSettings() {
    RunSettings settings;
    settings.video = QStringLiteral("stone, \"left\".avi");
    settings.selection = {190, 190, 40, 40};
    settings.rate = 160;
    settings.ticks = 17;
    return settings;
}

// Ticks 1..17 on a video of 17 frames. The capture position is one past the
// frame shown: ticks 1..16 show frames 0..15, then the window wraps from the
// next-to-last frame to frame 1, so tick 17 shows frame 1 (position 2).
RunRecord handRecord() {
    RunRecord record(17);
    for (int i = 0; i < 17; ++i) {
        record[i].tick = i + 1;
        record[i].frame = i < 16 ? i + 1 : 2;
        record[i].timeSeconds = (i + 1) * tickSeconds;
    }
    const auto set = [&record](int tick, int x, int y, bool inPlane, bool hit) {
        TickRecord& r = record[tick - 1];
        r.centreX = x;
        r.centreY = y;
        r.inPlane = inPlane;
        r.area = inPlane ? 100.0 : 0.0;
        r.hit = hit;
    };
    set(1, 213, 214, true, true);    // truth (210,210) on focus: true hit, error 5
    set(2, 210, 210, true, true);    // frame 1 not annotated: the hit does not count
    set(4, 215, 210, true, true);    // truth (250,210) off focus: false hit, error 35
    set(5, 212, 205, false, false);  // truth out of plane: no error, planes agree
    set(8, 220, 232, true, false);   // truth (220,220) on the corner, error 12
    set(16, 220, 219, false, false); // truth (220,219.5) on the edge: planes disagree, error 0.5
    set(17, 210, 210, true, true);   // frame 1 again, not annotated
    return record;
}

// Other column order, an extra column, CRLF and a byte order mark. Frame 16,
// the last, is never shown; a tick 16 that mistook the capture position for
// the shown frame would find it and put that fixed-focus shot on tissue.
const QByteArray handTruth = "\xEF\xBB\xBFin_plane,centre_y,note,frame,centre_x\r\n"
                             "1,210,\"a, b\",0,210\r\n"
                             "1,210,,3,250\r\n"
                             "0,205,,4,212\r\n"
                             "1,220,,7,220\r\n"
                             "1,219.5,,15,220\r\n"
                             "1,250,,16,250\r\n";
constexpr int handFrames = 17;

GroundTruth parsedOrFail(const QByteArray& text, std::int64_t frames) {
    const Refusable<GroundTruth> reading =
        parseGroundTruth(text, QStringLiteral("truth.csv"), frames);
    EXPECT_TRUE(reading.ok()) << reading.refusal().message.toStdString();
    return reading ? *reading : GroundTruth();
}

} // namespace

TEST(Evaluation, MeasuresAHandComputedRun) {
    const RunSettings settings = handSettings();
    const RunRecord record = handRecord();
    const Evaluation e = evaluateRun(settings, record, parsedOrFail(handTruth, handFrames));

    // Annotated: ticks 1, 4, 5, 8, 16; in plane all but tick 5.
    EXPECT_EQ(e.ticks, 17);
    EXPECT_EQ(e.annotatedTicks, 5);
    EXPECT_EQ(e.truthInPlaneTicks, 4);
    // Errors sorted 0.5, 5, 12, 35: mean 52.5 / 4; median at rank 1.5: 8.5;
    // 95th at rank 0.95 x 3 = 2.85: 12 + 0.85 x (35 - 12) = 31.55.
    ASSERT_TRUE(e.trackingError);
    EXPECT_EQ(e.trackingError->ticks, 4);
    EXPECT_DOUBLE_EQ(e.trackingError->meanPx, 13.125);
    EXPECT_DOUBLE_EQ(e.trackingError->medianPx, 8.5);
    EXPECT_DOUBLE_EQ(e.trackingError->p95Px, 31.55);
    EXPECT_DOUBLE_EQ(e.trackingError->maxPx, 35.0);
    // Planes agree on all annotated ticks but 16.
    EXPECT_EQ(e.planeAgreeingTicks, 4);
    EXPECT_DOUBLE_EQ(*e.planeAgreement(), 0.8);
    // Hits on annotated ticks: 1 (true) and 4 (false).
    EXPECT_EQ(e.hits(), 2);
    EXPECT_EQ(e.trueHits(), 1);
    EXPECT_EQ(e.falseHits(), 1);
    EXPECT_DOUBLE_EQ(*e.tracking.efficiency(), 0.5);
    // Fixed focus: tick 16 (x on the right edge), on the stone, one period
    // (15 ticks, 375 ms) after the start of tracking; tick 17 is 400 ms after it.
    EXPECT_EQ(e.fixedFocus.fired, 1);
    EXPECT_EQ(e.fixedFocus.onStone, 1);
    EXPECT_EQ(e.fixedFocus.tissue(), 0);
    EXPECT_DOUBLE_EQ(*e.efficiencyGain(), -0.5);
    EXPECT_EQ(e.tissueShotsSpared(), -1);

    const QByteArray row = summaryRow(settings, QStringLiteral("truth.csv"), e);
    EXPECT_TRUE(row.startsWith("\"stone, \"\"left\"\".avi\",truth.csv,190,190,40,40,160,"));
    EXPECT_TRUE(row.contains(",2,1,1,0.500000,1,1,0,1.000000,-0.500000,meanshift,"))
        << row.constData();
    // Then the clock and the pixel size, which none is given here; the 95 %
    // intervals of both efficiencies and of the gain; the following focus
    // (tick 16's shot withheld: the tracker lost the stone), the point stone
    // and no head speed limit; last the settings of the shots.
    EXPECT_TRUE(row.contains(",window,25.000,,,0.094531,0.905469,0.206549,1.000000,-0.905469,"
                             "0.391049,0,0,0,,1,0.000,0.000,,,"))
        << row.constData();
}

// The fixed focus fires what the log's summary counts without tracking over
// the same ticks: the whole milliseconds since the start of tracking over the
// single-precision period, truncated.
TEST(Evaluation, TheFixedFocusFiresTheShotsOfTheSummary) {
    const struct {
        int rate;
        int ticks;
        int summaryShots; // the summary's count after the last tick
    } cases[] = {
        {100, 598, 24}, // 14 925 ms of tracking on the demo
        {100, 25, 1},   // 600 ms: the first shot on the last tick
        {100, 24, 0},   // 575 ms
        {160, 1, 0},    // the start of tracking alone
        {70, 2401, 69}, // 60 000 ms over 857.142883 ms is 69.99999
        {70, 2402, 70}, // 60 025 ms
        {40, 61, 1},    // 1500 ms
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " per min, " << c.ticks << " ticks");
        RunSettings settings = handSettings();
        settings.rate = c.rate;
        RunRecord record(static_cast<std::size_t>(c.ticks));
        for (int i = 0; i < c.ticks; ++i) {
            record[i].tick = i + 1;
            record[i].frame = i + 1;
            record[i].timeSeconds = (i + 1) * tickSeconds;
        }
        const std::int32_t trackingMs = (c.ticks - 1) * defaults::tickMs;
        ASSERT_EQ(shotsWithoutTracking(trackingMs, shotPeriodMs(c.rate)), c.summaryShots);
        const std::vector<TickVerdict> verdicts = judgeTicks(settings, record, GroundTruth{});
        int fired = 0;
        for (std::size_t i = 0; i < verdicts.size(); ++i) {
            fired += verdicts[i].fixedFocusShots;
            // Each shot on the first tick at which its period has passed.
            const std::int32_t sinceStart = static_cast<std::int32_t>(i) * defaults::tickMs;
            EXPECT_EQ(fired, shotsWithoutTracking(sinceStart, shotPeriodMs(c.rate))) << i;
        }
        EXPECT_EQ(fired, c.summaryShots);
    }
}

TEST(Evaluation, SparseTruthCountsOnlyAnnotatedTicks) {
    const RunSettings settings = handSettings();
    const RunRecord record = handRecord();
    // Only frame 3 (tick 4, a false hit, no fixed-focus shot) is annotated.
    const Evaluation one = evaluateRun(
        settings, record, parsedOrFail("frame,centre_x,centre_y\n3,250,210\n", handFrames));
    EXPECT_EQ(one.annotatedTicks, 1);
    EXPECT_EQ(one.trackingError->ticks, 1);
    EXPECT_DOUBLE_EQ(one.trackingError->p95Px, 35.0);
    EXPECT_EQ(one.falseHits(), 1);
    // The fixed focus's shot of tick 16 is fired, but on a frame not annotated.
    EXPECT_EQ(one.fixedFocus.fired, 1);
    EXPECT_EQ(one.fixedFocus.notAnnotated, 1);
    EXPECT_EQ(one.fixedFocus.tissue(), 0);
    EXPECT_FALSE(one.fixedFocus.efficiency());
    EXPECT_FALSE(one.efficiencyGain());

    // None of the run's frames annotated: every share is absent, never NaN.
    const Evaluation none = evaluateRun(
        settings, record, parsedOrFail("frame,centre_x,centre_y\n16,250,210\n", handFrames));
    EXPECT_EQ(none.annotatedTicks, 0);
    EXPECT_FALSE(none.trackingError);
    EXPECT_FALSE(none.planeAgreement());
    EXPECT_FALSE(none.tracking.efficiency());

    TemporaryWorkingDirectory directory;
    const QString path = QString::fromStdString(directory.file("report.json"));
    ASSERT_TRUE(writeEvaluationJson(path, settings, QStringLiteral("t.csv"), none).ok());
    const QByteArray json = readBytes(path.toStdString());
    EXPECT_FALSE(json.toLower().contains("nan"));
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    EXPECT_TRUE(root["tracking_error_px"].isNull());
    EXPECT_TRUE(root["with_tracking"]["shot_efficiency"].isNull());
    EXPECT_EQ(root["settings"]["rate_per_min"].toInt(), 160);
    EXPECT_EQ(root["settings"]["threshold"].toString(), "auto");
    EXPECT_TRUE(evaluationTable(settings, none).contains("n/a"));
    EXPECT_FALSE(writeEvaluationJson(QString::fromStdString(directory.file("no/such/dir.json")),
                                     settings, {}, none)
                     .ok());
}

TEST(GroundTruth, MalformedFilesNameTheLine) {
    struct Case {
        std::optional<QByteArray> text; // none: the file does not exist
        int line;
        const char* word;
    };
    const Case cases[] = {
        {"frame,centre_x\n0,1\n", 1, "centre_y"},
        {"frame,centre_x,centre_y,frame\n", 1, "twice"},
        {"frame,centre_x,centre_y\n0,1,2\n1,abc,2\n", 3, "centre_x is not a number: \"abc\""},
        {"frame,centre_x,centre_y\n0,1,nan\n", 2, "centre_y is not a number"},
        {"frame,centre_x,centre_y\n10,1,2\n", 2, "beyond"},
        {"frame,centre_x,centre_y\n-1,1,2\n", 2, "negative"},
        {"frame,centre_x,centre_y\n1.5,1,2\n", 2, "whole number"},
        {"frame,centre_x,centre_y,in_plane\n0,1,2,2\n", 2, "in_plane"},
        {"frame,centre_x,centre_y\n0,1\n", 2, "fields"},
        {"\xEF\xBB\xBF"
         "frame,centre_x,centre_y\r\n\r\n0,1,2\r\n0,1,2\r\n",
         4, "twice"},
        {"", 1, "header"},
        {std::nullopt, 0, "cannot be read"},
    };
    TemporaryWorkingDirectory directory;
    for (const Case& c : cases) {
        const QString path = QString::fromStdString(directory.file("truth.csv"));
        QFile::remove(path);
        if (c.text) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(*c.text);
        }
        const Refusable<GroundTruth> reading = readGroundTruth(path, 10);
        ASSERT_FALSE(reading.ok()) << c.word;
        const QString text = reading.refusal().message;
        EXPECT_TRUE(
            text.startsWith(c.line ? QStringLiteral("%1:%2: ").arg(path).arg(c.line) : path + ": "))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QLatin1String(c.word))) << text.toStdString();
    }
}

TEST(GroundTruth, ReadsTheSyntheticVideosTruth) {
    TemporaryWorkingDirectory directory;
    SyntheticVideoSpec spec;
    spec.width = 96;
    spec.height = 64;
    spec.frames = 6;
    spec.stone = [](int frame) { return StoneState{10.0 + frame, 20.25, frame == 3 ? 0.0 : 1.0}; };
    ASSERT_TRUE(writeSyntheticVideo(directory.file("v.avi"), directory.file("v.csv"), spec));
    const Refusable<GroundTruth> reading =
        readGroundTruth(QString::fromStdString(directory.file("v.csv")), 6);
    ASSERT_TRUE(reading.ok()) << reading.refusal().message.toStdString();
    ASSERT_EQ(reading->byFrame.size(), 6u);
    EXPECT_DOUBLE_EQ(reading->at(5)->centreX, 15.0);
    EXPECT_DOUBLE_EQ(reading->at(5)->centreY, 20.25);
    EXPECT_FALSE(reading->at(3)->inPlane);
    EXPECT_TRUE(reading->at(2)->inPlane);
}

// Several processes append at once, started together, each going through
// the same new tables in turn so that every table's first row is a race;
// every row must arrive whole, and each header once.
TEST(EvaluationReport, ConcurrentSummaryAppendsKeepEveryRow) {
    TemporaryWorkingDirectory directory;
    const Evaluation e =
        evaluateRun(handSettings(), handRecord(), parsedOrFail(handTruth, handFrames));
    constexpr int processes = 6;
    constexpr int tables = 40;
    constexpr int rowsEach = tables; // per process: one in each table
    const auto tableOf = [&directory](int row) {
        return QString::fromStdString(directory.file("summary" + std::to_string(row % tables)));
    };
    const auto settingsOf = [](int process, int row) {
        RunSettings s = handSettings();
        s.video = QStringLiteral("/data/run %1,\"%2\".avi").arg(process).arg(row);
        return s;
    };
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(gate[1]);
            char go;
            bool ok = read(gate[0], &go, 1) == 0; // the parent closed the gate
            for (int r = 0; r < rowsEach && ok; ++r) {
                ok =
                    appendSummaryRow(tableOf(r), settingsOf(p, r), QStringLiteral("t.csv"), e).ok();
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    close(gate[0]);
    close(gate[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    for (int t = 0; t < tables; ++t) {
        QSet<QByteArray> expected;
        for (int p = 0; p < processes; ++p) {
            for (int r = t; r < rowsEach; r += tables) {
                expected.insert(summaryRow(settingsOf(p, r), QStringLiteral("t.csv"), e));
            }
        }
        const QByteArray bytes = readBytes(tableOf(t).toStdString());
        ASSERT_TRUE(bytes.startsWith(summaryHeader())) << t;
        QList<QByteArray> rows = bytes.mid(summaryHeader().size()).split('\n');
        ASSERT_EQ(rows.takeLast(), QByteArray());
        ASSERT_EQ(rows.size(), expected.size()) << t;
        QSet<QByteArray> found;
        for (const QByteArray& row : rows) {
            found.insert(row + '\n');
        }
        EXPECT_EQ(found, expected) << t;
    }

    // A table with other columns is left as it is.
    QFile other(QString::fromStdString(directory.file("other.csv")));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("a,b\n1,2\n");
    other.close();
    EXPECT_FALSE(appendSummaryRow(other.fileName(), handSettings(), {}, e).ok());
    EXPECT_EQ(readBytes(other.fileName().toStdString()), QByteArray("a,b\n1,2\n"));
}

// Every setting of the shots and the tracker that changes a figure has its
// column: a run that differs in one of them differs there, under its name. A
// table written before these columns existed takes no row of the new shape.
TEST(EvaluationReport, SummaryRowsRecordTheSettingsThatChangeTheFigures) {
    RunSettings base = handSettings();
    base.video = QStringLiteral("v.avi");
    const Evaluation e = evaluateRun(base, handRecord(), parsedOrFail(handTruth, handFrames));
    const QList<QByteArray> names = summaryHeader().trimmed().split(',');
    const QList<QByteArray> baseRow = summaryRow(base, "t.csv", e).trimmed().split(',');
    ASSERT_EQ(baseRow.size(), names.size());
    const struct {
        const char* column;
        std::function<void(RunSettings&)> change;
        QByteArray before;
        QByteArray after;
    } cases[] = {
        {"latency_ms", [](RunSettings& s) { s.timing.latencyMs = 120; }, "0", "120"},
        {"predict", [](RunSettings& s) { s.timing.predict = Prediction::Kalman; }, "none",
         "kalman"},
        {"predict_window", [](RunSettings& s) { s.timing.predictWindow = 7; },
         QByteArray::number(prediction::predictWindow), "7"},
        {"gate_margin_px", [](RunSettings& s) { s.timing.gateMarginPx = 2.5; }, "0.000", "2.500"},
        {"lost_below", [](RunSettings& s) { s.lostBelow = 0.25; }, "0.500000", "0.250000"},
    };
    for (const auto& c : cases) {
        const qsizetype column = names.indexOf(c.column);
        ASSERT_GE(column, 0) << c.column;
        RunSettings changed = base;
        c.change(changed);
        QList<QByteArray> row = summaryRow(changed, "t.csv", e).trimmed().split(',');
        EXPECT_EQ(baseRow[column], c.before) << c.column;
        EXPECT_EQ(row[column], c.after) << c.column;
        row[column] = baseRow[column];
        EXPECT_EQ(row, baseRow) << c.column << ": only its own column changes";
    }

    TemporaryWorkingDirectory directory;
    QByteArray older = summaryHeader();
    older.replace(",latency_ms,predict,predict_window,gate_margin_px,lost_below", "");
    ASSERT_NE(older, summaryHeader());
    for (const QByteArray& table : {older, older + "v.avi,t.csv,1,2\n"}) {
        QFile file("older.csv");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(table);
        file.close();
        const Refusable<> refused = appendSummaryRow(file.fileName(), base, "t.csv", e);
        ASSERT_FALSE(refused.ok());
        EXPECT_TRUE(refused.refusal().message.contains(
            "is not a summary table with this program's columns"));
        EXPECT_EQ(readBytes("older.csv"), table);
    }
}

TEST(EvaluationReport, PlotIsWrittenAtItsSize) {
    TemporaryWorkingDirectory directory;
    const QString path = QString::fromStdString(directory.file("run.png"));
    const GroundTruth truth = parsedOrFail(handTruth, handFrames);
    const JudgedRun judged = judgeRun(handSettings(), handRecord(), truth);
    ASSERT_TRUE(writeRunPlot(path, handSettings(), handRecord(), judged).ok());
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "png");
    EXPECT_EQ(reader.size(), runPlotSize);
    EXPECT_EQ(drawRunPlot(handSettings(), {}, judgeRun(handSettings(), {}, truth)).size(),
              runPlotSize); // no tick at all
    EXPECT_FALSE(writeRunPlot(QString::fromStdString(directory.file("no/such/dir.png")),
                              handSettings(), handRecord(), judged)
                     .ok());
}

// Each figure is written one way for the terminal, the picture and the CSV:
// none is "n/a" for a person and an empty field for a table; a gain carries
// its sign, and a loss its minus.
TEST(EvaluationReport, FiguresAreWrittenOneWayEach) {
    const struct {
        QString written;
        const char* expected;
    } cases[] = {
        {percentText(0.875), "87.5 %"},    {percentText(1.0), "100.0 %"},
        {percentText(0.0), "0.0 %"},       {percentText(std::nullopt), "n/a"},
        {gainText(0.125), "+12.5 points"}, {gainText(0.0), "+0.0 points"},
        {gainText(-0.03), "-3.0 points"},  {gainText(std::nullopt), "n/a"},
        {distanceText(3.46), "3.5"},       {distanceText(0.0), "0.0"},
        {csvFigure(0.5, 6), "0.500000"},   {csvFigure(12.3456, 3), "12.346"},
        {csvFigure(std::nullopt, 6), ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.written, c.expected);
    }
}

// --plot writes the format its name asks for, at the picture's size.
TEST(EvaluationReport, PlotIsWrittenInTheFormatOfItsName) {
    TemporaryWorkingDirectory directory;
    const GroundTruth truth = parsedOrFail(handTruth, handFrames);
    const JudgedRun judged = judgeRun(handSettings(), handRecord(), truth);
    const struct {
        const char* name;
        const char* startsWith;
        const char* readAs; // by Qt's image readers, at its size; nullptr: not checked so
    } cases[] = {
        {"run.png", "\x89PNG", "png"},
        {"run.PDF", "%PDF-", nullptr},
        {"run.svg", "<?xml", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(
            writeRunPlot(QString::fromLatin1(c.name), handSettings(), handRecord(), judged).ok());
        EXPECT_TRUE(readBytes(c.name).startsWith(c.startsWith));
        if (c.readAs) {
            QImageReader reader(QString::fromLatin1(c.name));
            EXPECT_EQ(reader.format(), c.readAs);
            EXPECT_EQ(reader.size(), runPlotSize);
        }
    }
    // 1600 x 900 pixels of 1/96 inch: 1200 x 675 points.
    EXPECT_TRUE(QString::fromLatin1(readBytes("run.PDF"))
                    .contains(QRegularExpression(R"(/MediaBox \[0 0 1200(\.0+)? 675(\.0+)?\])")));
    // SVG gives its size in millimetres, which readers take at differing
    // resolutions; the picture's own units are its pixels.
    EXPECT_TRUE(readBytes("run.svg").contains(R"(viewBox="0 0 1600 900")"));
}

namespace {

struct PlotLabel {
    double x;
    double y;
    QString text;
};

// The texts of an SVG picture with where they stand.
std::vector<PlotLabel> svgLabels(const QByteArray& svg) {
    std::vector<PlotLabel> labels;
    QXmlStreamReader reader(svg);
    while (reader.readNextStartElement() || !reader.atEnd()) {
        if (reader.isStartElement() && reader.name() == QLatin1String("text")) {
            const QXmlStreamAttributes at = reader.attributes();
            const double x = at.value("x").toDouble();
            const double y = at.value("y").toDouble();
            labels.push_back({x, y, reader.readElementText()});
        } else if (!reader.isStartElement()) {
            reader.readNext();
        }
    }
    return labels;
}

} // namespace

// The picture's axes: the time from 0, image y growing downward as in the
// image (and said so), and millimetres where the recording is calibrated.
TEST(EvaluationReport, PlotAxesReadAsTheImageDoes) {
    TemporaryWorkingDirectory directory;
    const GroundTruth truth = parsedOrFail(handTruth, handFrames);
    for (const std::optional<double> mmPerPixel : {std::optional<double>(), std::optional(0.5)}) {
        SCOPED_TRACE(mmPerPixel.value_or(0));
        RunSettings settings = handSettings();
        if (mmPerPixel) {
            settings.mmPerPixel = MmPerPixel{*mmPerPixel, *mmPerPixel};
        }
        const JudgedRun judged = judgeRun(settings, handRecord(), truth);
        ASSERT_TRUE(writeRunPlot(QStringLiteral("run.svg"), settings, handRecord(), judged).ok());
        const std::vector<PlotLabel> labels = svgLabels(readBytes("run.svg"));
        const auto has = [&labels](const QString& text) {
            return std::any_of(labels.begin(), labels.end(),
                               [&text](const PlotLabel& label) { return label.text == text; });
        };
        const QString unit = mmPerPixel ? "mm" : "px";
        EXPECT_TRUE(has("x (" + unit + ")"));
        EXPECT_TRUE(has("y (" + unit + "), downward as in the image"));

        // The numbers left of the panels, x's then y's, each ascending.
        std::vector<std::vector<PlotLabel>> panels;
        std::vector<PlotLabel> times;
        double lowest = 0.0;
        for (const PlotLabel& label : labels) {
            bool number = false;
            const double value = label.text.toDouble(&number);
            if (!number) {
                continue;
            }
            if (label.y > 840.0) {
                times.push_back(label);
            } else if (label.x < 110.0) {
                if (panels.empty() || value < panels.back().back().text.toDouble()) {
                    panels.emplace_back();
                }
                panels.back().push_back(label);
                lowest = std::min(lowest, value);
            }
        }
        ASSERT_EQ(panels.size(), 2u);
        const auto goesDown = [](const std::vector<PlotLabel>& panel) {
            return panel.back().y > panel.front().y;
        };
        EXPECT_FALSE(goesDown(panels[0])) << "x grows to the top";
        EXPECT_TRUE(goesDown(panels[1])) << "y grows downward";
        // The hand run's x reaches 220 px, 110 mm at 0.5 mm per pixel; the
        // highest label is a round number near it.
        const double top = panels[0].back().text.toDouble();
        EXPECT_GE(top, mmPerPixel ? 80.0 : 180.0);
        EXPECT_LT(top, mmPerPixel ? 130.0 : 260.0);
        ASSERT_FALSE(times.empty());
        EXPECT_EQ(times.front().text, "0");
    }
}

// A true centre counts as on the focal area only where the window could hit
// it: on the picture, as the tracked centre always is. A stone with a size is
// on it where its rectangle meets that part, edges included.
TEST(Evaluation, TheFocalAreaCountsOnThePictureOnly) {
    RunSettings settings;
    settings.focal = {620, 460};
    settings.focalSize = {100, 100};
    settings.frame = {640, 480};
    const struct {
        double x;
        double y;
        cv::Size2d stone;
        bool on;
    } cases[] = {
        {620, 460, {}, true},     {639, 479, {}, true},      {630, 470, {}, true},
        {639.5, 470, {}, false},  {650, 470, {}, false},     {630, 480, {}, false},
        {619.9, 470, {}, false},  {617, 470, {4, 4}, false}, {617, 470, {6, 0}, true},
        {641, 470, {4, 1}, true}, {641, 470, {2, 1}, false}, {630, 482, {0, 6}, true},
    };
    const auto on = [&settings](double x, double y) {
        return focalAreaOverlapsStone(settings, fixedFocalCentre(settings), x, y);
    };
    for (const auto& c : cases) {
        settings.stoneSize = c.stone;
        EXPECT_EQ(on(c.x, c.y), c.on)
            << c.x << "," << c.y << " " << c.stone.width << "x" << c.stone.height;
    }
    settings.frame = {};
    settings.stoneSize = {};
    EXPECT_TRUE(on(650, 470)) << "a picture of unknown size clips nothing";
}

// Truth values are what they say: no thousands separators or decimal commas
// in quotes, no centre absurdly far outside the frame, any line end, and a
// field with a NUL byte shown escaped in a message that is not cut there.
TEST(GroundTruth, ValuesAreWhatTheySay) {
    const QByteArray header = "frame,centre_x,centre_y\n";
    QByteArray withNul = header + "5,a";
    withNul += '\0';
    withNul += "b,2\n";
    const struct {
        QByteArray text;
        const char* says;
    } refused[] = {
        {header + "5,\"1,000\",\"2,000\"\n", "centre_x is not a number: \"1,000\"; write numbers "
                                             "with a decimal point"},
        {header + "5,\"1,5\",2\n",
         "centre_x is not a number: \"1,5\"; write numbers with a decimal "
         "point"},
        {header + "5,1.7e308,2\n", "centre_x \"1.7e308\" lies farther outside the 640 x 480 "
                                   "frame than the frame's size; it must lie within -640..1280"},
        {header + "5,1,1e300\n", "centre_y \"1e300\" lies farther outside"},
        {header + "5,-641,2\n", "within -640..1280"},
        {header + "5,2,961\n", "within -480..960"},
        {withNul, "centre_x is not a number: \"a\\x00b\""},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.says);
        const Refusable<GroundTruth> reading =
            parseGroundTruth(c.text, "t.csv", 10, {}, QSize(640, 480));
        EXPECT_FALSE(reading.ok());
        if (reading.ok()) {
            continue;
        }
        const QString& text = reading.refusal().message;
        EXPECT_TRUE(refusedOnLine(reading.refusal(), "t.csv", 2));
        EXPECT_TRUE(text.contains(QLatin1String(c.says))) << text.toStdString();
        EXPECT_FALSE(text.contains(QChar(0)));
    }
    // CR alone ends lines, as in files of old Macs; centres may lie outside
    // the picture by up to its size.
    const Refusable<GroundTruth> reading = parseGroundTruth(
        "frame,centre_x,centre_y\r5,-640,960\r\r6,1280,-480\r", "t.csv", 10, {}, QSize(640, 480));
    ASSERT_TRUE(reading.ok()) << reading.refusal().message.toStdString();
    ASSERT_EQ(reading->byFrame.size(), 2u);
    EXPECT_DOUBLE_EQ(reading->at(5)->centreY, 960.0);
    EXPECT_DOUBLE_EQ(reading->at(6)->centreX, 1280.0);
}
