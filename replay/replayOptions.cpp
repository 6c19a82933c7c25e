// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/replayOptions.h"

#include "common/programOptions.h"

#include <QCommandLineParser>
#include <QFile>
#include <algorithm>
#include <iterator>
#include <limits>
#include <thread>

namespace {

struct Range {
    qint64 low;
    qint64 high;
};

// A whole number in [low, high], or nothing.
std::optional<qint64> wholeNumber(const QString& text, Range range) {
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok || value < range.low || value > range.high) {
        return std::nullopt;
    }
    return value;
}

// `count` whole numbers separated by commas, each in `range`.
std::optional<std::vector<qint64>> numberList(const QString& text, int count, Range range) {
    const QStringList parts = text.split(',');
    if (parts.size() != count) {
        return std::nullopt;
    }
    std::vector<qint64> values;
    for (const QString& part : parts) {
        const std::optional<qint64> value = wholeNumber(part, range);
        if (!value) {
            return std::nullopt;
        }
        values.push_back(*value);
    }
    return values;
}

QString bad(const QString& option, const QString& accepted, const QString& given) {
    return QStringLiteral("--%1: expected %2, got \"%3\"").arg(option, accepted, given);
}

constexpr qint64 pixels = 1'000'000;

// The bounds of the window's controls, which the options share.
constexpr Range rateRange{bounds::skuddPerMinLowest, bounds::skuddPerMinHighest};
constexpr Range focalSizeRange{bounds::brennpunktSizeLowest, bounds::brennpunktSizeHighest};
constexpr Range filterRange{bounds::filterSizeLowest, bounds::filterSizeHighest};
constexpr Range thresholdRange{bounds::thresholdLowest, bounds::thresholdHighest};
// More threads than this only cost memory for frames decoded ahead.
constexpr Range threadRange{1, 64};

// "40..160", as the help writes a range.
QString span(Range range) {
    return QStringLiteral("%1..%2").arg(range.low).arg(range.high);
}

// "from 40 to 160", as an error names a range.
QString fromTo(Range range) {
    return QStringLiteral("from %1 to %2").arg(range.low).arg(range.high);
}

// "200,200", as the help writes a default position or size.
QString pair(int first, int second) {
    return QStringLiteral("%1,%2").arg(first).arg(second);
}

// The simulated lithotripter's delay, what its hit test aims at, and the
// sweep over delays.
class TimingOptions {
  public:
    QList<QCommandLineOption> all() const {
        return {latency, predict, predictWindow, gateMargin, sweep};
    }

    // Reads the options into `options` once its focal area and truth are
    // known; refused (a usage error) with what is wrong.
    Refusable<> read(const QCommandLineParser& parser, ReplayOptions& options) const {
        ShotTiming& timing = options.settings.timing;
        const QString accepted = "a whole number of milliseconds " + fromTo(latencyRange);
        if (parser.isSet(latency)) {
            const std::optional<qint64> ms = wholeNumber(parser.value(latency), latencyRange);
            if (!ms) {
                return Refusal{bad("latency", accepted, parser.value(latency)), exitUsage};
            }
            timing.latencyMs = static_cast<int>(*ms);
        }
        if (parser.isSet(predict)) {
            const std::optional<Prediction> way = predictionNamed(parser.value(predict));
            if (!way) {
                return Refusal{bad("predict", "none, linear or kalman", parser.value(predict)),
                               exitUsage};
            }
            timing.predict = *way;
        }
        if (parser.isSet(predictWindow)) {
            const std::optional<qint64> n = wholeNumber(parser.value(predictWindow), windowRange);
            if (!n) {
                return Refusal{bad("predict-window",
                                   "a whole number of ticks " + fromTo(windowRange),
                                   parser.value(predictWindow)),
                               exitUsage};
            }
            timing.predictWindow = static_cast<int>(*n);
        }
        if (parser.isSet(gateMargin)) {
            bool ok = false;
            const double px = parser.value(gateMargin).trimmed().toDouble(&ok);
            const cv::Size focal = options.settings.focalSize.value_or(
                cv::Size(defaults::brennpunktWidth, defaults::brennpunktHeight));
            const double widest = std::min(focal.width, focal.height) / 2.0;
            // A focal area sized in millimetres is known only with the
            // recording's calibration; the margin is checked against it then.
            const bool sizeKnown = !parser.isSet("focal-size-mm");
            if (!ok || !(px >= 0.0) || (sizeKnown && px > widest)) {
                return Refusal{
                    bad("gate-margin",
                        QStringLiteral("a number of pixels from 0 to %1 (half the %2 x %3 "
                                       "focal area's shorter side)")
                            .arg(widest)
                            .arg(focal.width)
                            .arg(focal.height),
                        parser.value(gateMargin)),
                    exitUsage};
            }
            timing.gateMarginPx = px;
        }
        if (parser.isSet(sweep)) {
            const QStringList parts = parser.value(sweep).split(':');
            std::vector<qint64> values;
            for (const QString& part : parts) {
                if (const std::optional<qint64> value = wholeNumber(part, latencyRange)) {
                    values.push_back(*value);
                }
            }
            if (parts.size() != 3 || values.size() != 3 || values[0] > values[1] || values[2] < 1) {
                return Refusal{bad("latency-sweep",
                                   "A:B:STEP, whole milliseconds with A <= B, both " +
                                       fromTo(latencyRange) + ", and a STEP of 1 or more",
                                   parser.value(sweep)),
                               exitUsage};
            }
            if (options.truthPath.isEmpty()) {
                return Refusal{
                    QStringLiteral("--latency-sweep needs --truth: shots are judged by the true "
                                   "position"),
                    exitUsage};
            }
            options.sweep = LatencySweep{static_cast<int>(values[0]), static_cast<int>(values[1]),
                                         static_cast<int>(values[2])};
        }
        return {};
    }

  private:
    static constexpr Range latencyRange{0, prediction::latencyMsHighest};
    static constexpr Range windowRange{prediction::predictWindowLowest,
                                       prediction::predictWindowHighest};

    const QCommandLineOption latency{
        "latency",
        QStringLiteral("Each shot arrives MS after the image it was decided on, %1; the "
                       "evaluation judges it by where the stone is then (default 0).")
            .arg(span(latencyRange)),
        "MS"};
    const QCommandLineOption predict{
        "predict",
        "What the hit test aims at: none, the tracked centre; linear, the centre moved on by "
        "its least-squares velocity over the latency; kalman, a constant-velocity Kalman "
        "filter's centre at arrival (default none).",
        "none|linear|kalman"};
    const QCommandLineOption predictWindow{
        "predict-window",
        QStringLiteral("In-plane ticks of the linear prediction's fit, %1 (default %2).")
            .arg(span(windowRange))
            .arg(prediction::predictWindow),
        "N"};
    const QCommandLineOption gateMargin{
        "gate-margin",
        "A hit needs the aim at least PX inside every edge of the focal area (default 0: edges "
        "included).",
        "PX"};
    const QCommandLineOption sweep{
        "latency-sweep",
        "Judge the run again at every latency from A to B ms in steps of STEP, for each "
        "prediction; a table, and with --report and --plot a list and a picture (needs "
        "--truth).",
        "A:B:STEP"};
};

} // namespace

int defaultReplayThreads() {
    return static_cast<int>(
        std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, threadRange.high));
}

ParsedReplayCommand parseReplayCommand(const QStringList& arguments) {
    QList<QByteArray> bytes;
    for (const QString& argument : arguments) {
        bytes << QFile::encodeName(argument);
    }
    return parseReplayArguments(bytes);
}

ParsedReplayCommand parseReplayArguments(const QList<QByteArray>& bytes) {
    // Parsed twice: decoded in the locale's encoding for the values and the
    // messages, and byte for byte as Latin-1 (which maps every byte to one
    // character and back) for the file names, which need not be valid in the
    // locale's encoding. Both parses take the arguments apart alike.
    QStringList arguments;
    QStringList asBytes;
    for (const QByteArray& argument : bytes) {
        arguments << QFile::decodeName(argument);
        asBytes << QString::fromLatin1(argument);
    }
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "Replays a treatment run on VIDEO without a screen, as the window would run it with a "
            "perfect %1 ms frame clock (or the recording's own, --clock): the marked region is "
            "tracked from the first tick, logging is on and the video plays. Writes the window's "
            "event log, and on request a per-tick track, an evaluation against the stone's true "
            "position, a report, a summary row and a picture.")
            .arg(defaults::tickMs));
    parser.addPositionalArgument(
        "VIDEO", "The recording to replay: an AVI, a DICOM cine loop, or a numbered image "
                 "sequence given as a folder, one of its frames or a pattern such as "
                 "frames/img_%04d.png.");
    const StandardOptions standard(parser);
    const QCommandLineOption select("select",
                                    "The region marked on the processed view, in image pixels "
                                    "(required).",
                                    "X,Y,W,H");
    const QCommandLineOption rate("rate",
                                  QStringLiteral("Shots per minute, %1 (default %2).")
                                      .arg(span(rateRange), QString::number(defaults::skuddPerMin)),
                                  "N");
    const QCommandLineOption focal("focal",
                                   "Position of the focal area (default " +
                                       pair(defaults::brennpunktX, defaults::brennpunktY) + ").",
                                   "X,Y");
    const QCommandLineOption focalSize(
        "focal-size",
        QStringLiteral("Size of the focal area, each %1 (default %2).")
            .arg(span(focalSizeRange), pair(defaults::brennpunktWidth, defaults::brennpunktHeight)),
        "W,H");
    const QCommandLineOption roi(
        "roi",
        QStringLiteral("Position of the %1 x %2 region of interest (default %3); auto: centred "
                       "on the marked region, moved only to stay inside the picture.")
            .arg(defaults::roiWidth)
            .arg(defaults::roiHeight)
            .arg(pair(defaults::roiX, defaults::roiY)),
        "auto|X,Y");
    const QCommandLineOption filter(
        "filter",
        QStringLiteral("Blur size, %1 (default %2).")
            .arg(span(filterRange), QString::number(defaults::filterSize)),
        "N");
    const QCommandLineOption threshold(
        "threshold",
        QStringLiteral("auto: the threshold follows the histogram (the window's På); N: fixed at "
                       "N, %1 (Av with the slider at N); mark: fixed at Otsu's level of the marked "
                       "pixels on the first tick, which tells the marked object from its "
                       "surroundings. Default auto.")
            .arg(span(thresholdRange)),
        "auto|mark|N");
    const QCommandLineOption ticks("ticks",
                                   "Playing ticks to run (default: once through the video, every "
                                   "frame the window plays before it wraps to frame 1).",
                                   "N");
    const QCommandLineOption log(
        "log", QStringLiteral("The event log (default %1 here).").arg(defaults::logFileName),
        "PATH");
    const QCommandLineOption track("track", "Write one CSV row per playing tick.", "PATH.csv");
    const QCommandLineOption truth(
        "truth",
        "The stone's true position: CSV with frame,centre_x,centre_y and optionally in_plane; or "
        "labels of focus alone, frame,in_focus (a shot is on the stone when its frame is in "
        "focus). Evaluates the run against it.",
        "PATH.csv");
    const QCommandLineOption compareTruth(
        "compare-truth",
        "A second annotation of the video's positions: its distance from --truth's, the human "
        "baseline of the tracking error (needs --truth).",
        "PATH.csv");
    const QCommandLineOption report("report", "Write every figure and parameter (needs --truth).",
                                    "PATH.json");
    const QCommandLineOption summary(
        "summary", "Append one row per run to a CSV table (needs --truth).", "PATH.csv");
    const QCommandLineOption plot("plot",
                                  "Draw a picture of the run (needs --truth): PNG, PDF or SVG by "
                                  "the name's extension.",
                                  "PATH.png|.pdf|.svg");
    const QCommandLineOption quiet({"q", "quiet"}, "No progress bar.");
    const QCommandLineOption threads(
        "threads",
        QStringLiteral("Threads for decoding a recording whose frames are coded alone and for "
                       "the trackers of --compare-trackers, %1 (default: one per core, here %2; "
                       "1 decodes and tracks on one thread).")
            .arg(span(threadRange))
            .arg(defaultReplayThreads()),
        "N");
    const QList<QCommandLineOption> own{select,    rate,  focal, focalSize, roi,   filter,
                                        threshold, ticks, log,   track,     truth, report,
                                        summary,   plot,  quiet, threads};
    parser.addOptions(own);
    parser.addOption(compareTruth);
    const TimingOptions timing;
    parser.addOptions(timing.all());
    const RecordingOptions recording;
    parser.addOptions(recording.all());
    const TrackerOptions trackerOptions;
    parser.addOptions(trackerOptions.all());
    const StrategyOptions strategy;
    parser.addOptions(strategy.all());

    ParsedReplayCommand result;
    if (!parser.parse(QStringList{replayProgramName} + arguments)) {
        result.text = parser.errorText();
        return result;
    }
    if (const std::optional<QString> answer =
            standard.answer(parser, replayProgramName, "[options] VIDEO")) {
        result.outcome = ParsedReplayCommand::Outcome::Answer;
        result.text = *answer;
        return result;
    }

    ReplayOptions& options = result.options;
    RequestedSettings& settings = options.settings;
    const auto fail = [&result](const QString& message) {
        result.text = message;
        return result;
    };

    const QStringList videos = parser.positionalArguments();
    if (videos.size() != 1 || videos.first().isEmpty()) {
        return fail(videos.size() > 1 ? "expected one VIDEO, got " + QString::number(videos.size())
                                      : QStringLiteral("expected a VIDEO to replay"));
    }
    settings.video = videos.first();

    QCommandLineParser exact;
    const StandardOptions exactStandard(exact);
    // Every option, so that no value is taken for the video.
    exact.addOptions(own);
    exact.addOption(compareTruth);
    exact.addOptions(timing.all());
    exact.addOptions(recording.all());
    exact.addOptions(trackerOptions.all());
    exact.addOptions(strategy.all());
    exact.addPositionalArgument("VIDEO", {});
    exact.parse(QStringList{replayProgramName} + asBytes);
    const auto name = [&exact](const QCommandLineOption& option) {
        return exact.isSet(option) ? FileName::fromBytes(exact.value(option).toLatin1())
                                   : FileName();
    };
    options.video = FileName::fromBytes(exact.positionalArguments().value(0).toLatin1());

    if (!parser.isSet(select)) {
        return fail("--select X,Y,W,H is required: the region around the stone, in image pixels");
    }
    const auto region = numberList(parser.value(select), 4, {0, pixels});
    if (!region || (*region)[2] < 1 || (*region)[3] < 1) {
        return fail(bad("select", "X,Y,W,H: four whole numbers, X and Y from 0, W and H from 1",
                        parser.value(select)));
    }
    const auto side = [&region](int i) { return static_cast<int>((*region)[i]); };
    settings.selection = cv::Rect(side(0), side(1), side(2), side(3));

    // The numeric options: each value checked, the first fault named.
    QString problem;
    const auto numbers = [&](const QCommandLineOption& option, int count, Range range,
                             const QString& accepted) {
        const auto values = numberList(parser.value(option), count, range);
        if (!values && problem.isEmpty()) {
            problem = bad(option.names().first(), accepted, parser.value(option));
        }
        return values.value_or(std::vector<qint64>(static_cast<std::size_t>(count), 0));
    };
    if (parser.isSet(rate)) {
        settings.rate = static_cast<int>(
            numbers(rate, 1, rateRange, "a whole number " + fromTo(rateRange)).front());
    }
    if (parser.isSet(focal)) {
        const auto at = numbers(focal, 2, {0, pixels}, "X,Y: two whole numbers from 0");
        settings.focal = cv::Point(static_cast<int>(at[0]), static_cast<int>(at[1]));
    }
    if (parser.isSet(focalSize)) {
        const auto size = numbers(focalSize, 2, focalSizeRange,
                                  "W,H: two whole numbers " + fromTo(focalSizeRange));
        settings.focalSize = cv::Size(static_cast<int>(size[0]), static_cast<int>(size[1]));
    }
    settings.roiFromMark = parser.isSet(roi) && parser.value(roi).trimmed() == "auto";
    if (parser.isSet(roi) && !settings.roiFromMark) {
        const auto at = numbers(roi, 2, {0, pixels}, "auto or X,Y: two whole numbers from 0");
        settings.roi = cv::Point(static_cast<int>(at[0]), static_cast<int>(at[1]));
    }
    if (parser.isSet(filter)) {
        settings.filter = static_cast<int>(
            numbers(filter, 1, filterRange, "a whole number " + fromTo(filterRange)).front());
    }
    settings.thresholdFromMark = parser.isSet(threshold) && parser.value(threshold) == "mark";
    if (parser.isSet(threshold) && parser.value(threshold) != "auto" &&
        !settings.thresholdFromMark) {
        settings.fixedThreshold =
            static_cast<int>(numbers(threshold, 1, thresholdRange,
                                     "auto, mark or a whole number " + fromTo(thresholdRange))
                                 .front());
    }
    if (parser.isSet(ticks)) {
        settings.ticks =
            numbers(ticks, 1, {1, std::numeric_limits<qint64>::max() / 2}, "a whole number from 1")
                .front();
    }
    options.threads =
        parser.isSet(threads)
            ? static_cast<int>(numbers(threads, 1, threadRange,
                                       "a whole number of threads " + fromTo(threadRange))
                                   .front())
            : defaultReplayThreads();
    if (!problem.isEmpty()) {
        return fail(problem);
    }

    for (const QCommandLineOption* option :
         {&log, &track, &truth, &compareTruth, &report, &summary, &plot}) {
        if (parser.isSet(*option) && parser.value(*option).isEmpty()) {
            return fail(bad(option->names().first(), "a file name", ""));
        }
    }
    if (parser.isSet(log)) {
        options.logPath = name(log);
        options.logGiven = true;
    }
    options.trackPath = name(track);
    options.truthPath = name(truth);
    options.compareTruthPath = name(compareTruth);
    options.reportPath = name(report);
    options.summaryPath = name(summary);
    options.plotPath = name(plot);
    if (parser.isSet(plot)) {
        const QString given = parser.value(plot);
        const bool known = std::any_of(
            std::begin(plotExtensions), std::end(plotExtensions), [&given](const char* extension) {
                return given.endsWith(QLatin1String(extension), Qt::CaseInsensitive);
            });
        if (!known) {
            return fail(bad("plot", "a file name ending in .png, .pdf or .svg", given));
        }
    }
    for (const QCommandLineOption* option : {&report, &summary, &plot}) {
        if (parser.isSet(*option) && options.truthPath.isEmpty()) {
            return fail("--" + option->names().first() +
                        " needs --truth: the figures are measured against the true position");
        }
    }
    if (parser.isSet(compareTruth) && options.truthPath.isEmpty()) {
        return fail("--compare-truth needs --truth: the second annotation is measured against it");
    }
    if (const Refusable<> read = timing.read(parser, options); !read) {
        return fail(read.refusal().message);
    }
    if (const Refusable<> read = recording.read(parser, options.recording); !read) {
        return fail(read.refusal().message);
    }
    if (const Refusable<> read =
            trackerOptions.read(parser, options.trackers, !options.truthPath.isEmpty());
        !read) {
        return fail(read.refusal().message);
    }
    if (const Refusable<> read = strategy.read(parser, options.strategies); !read) {
        return fail(read.refusal().message);
    }
    options.quiet = parser.isSet(quiet);
    options.trackers.threads = options.threads;
    result.outcome = ParsedReplayCommand::Outcome::Run;
    return result;
}
