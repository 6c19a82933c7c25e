// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/recording.h"
#include "app/MainWindow.h"
#include "testSupport.h"
#include "tracking/dicomReader.h"
#include "tracking/videoOpening.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <numeric>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace fs = std::filesystem;

namespace {

constexpr int frameCount = 5;
const cv::Size frameSize(64, 48);

// Colour frames that differ from one to the next, so that order shows.
cv::Mat colourFrame(int index) {
    cv::Mat frame(frameSize, CV_8UC3);
    cv::randu(frame, cv::Scalar::all(0), cv::Scalar::all(256));
    cv::rectangle(frame, cv::Rect(4 * index, 3 * index, 10, 8), cv::Scalar(255, 255, 255),
                  cv::FILLED);
    return frame;
}

// 16-bit grey whose high bytes are `shown` and low bytes noise.
cv::Mat deepGrey(const cv::Mat& shown) {
    cv::Mat high;
    cv::Mat low(shown.size(), CV_16UC1);
    shown.convertTo(high, CV_16U);
    cv::randu(low, 0, 256);
    return high * 256 + low;
}

struct Written {
    std::vector<cv::Mat> shown; // what each frame must read as, in order
    double tolerance = 0.0;     // JPEG loses a little
};

// Writes frames `numbers` under `folder` as `name(number)`.
Written writeFrames(const fs::path& folder, const std::vector<int>& numbers,
                    const std::function<std::string(int)>& name,
                    const std::string& kind = "colour") {
    fs::create_directories(folder);
    Written written;
    written.tolerance = kind == "jpeg" || kind == "grey jpeg" ? 40.0 : 0.0;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const int index = static_cast<int>(i);
        const std::string file = (folder / name(numbers[i])).string();
        if (kind == "deep grey") {
            cv::Mat grey;
            cv::cvtColor(colourFrame(index), grey, cv::COLOR_BGR2GRAY);
            EXPECT_TRUE(cv::imwrite(file, deepGrey(grey)));
            cv::Mat bgr;
            cv::cvtColor(grey, bgr, cv::COLOR_GRAY2BGR);
            written.shown.push_back(bgr);
        } else if (kind == "grey jpeg") {
            cv::Mat grey;
            cv::cvtColor(colourFrame(index), grey, cv::COLOR_BGR2GRAY);
            cv::GaussianBlur(grey, grey, cv::Size(7, 7), 2.0);
            EXPECT_TRUE(cv::imwrite(file, grey, {cv::IMWRITE_JPEG_QUALITY, 98}));
            cv::Mat bgr;
            cv::cvtColor(grey, bgr, cv::COLOR_GRAY2BGR);
            written.shown.push_back(bgr);
        } else {
            cv::Mat frame = colourFrame(index);
            if (kind == "jpeg") {
                cv::GaussianBlur(frame, frame, cv::Size(7, 7), 2.0);
            }
            EXPECT_TRUE(cv::imwrite(file, frame, {cv::IMWRITE_JPEG_QUALITY, 98}));
            written.shown.push_back(frame);
        }
    }
    return written;
}

std::vector<int> numbersUpTo(int count, int first = 0) {
    std::vector<int> numbers(static_cast<std::size_t>(count));
    std::iota(numbers.begin(), numbers.end(), first);
    return numbers;
}

std::function<std::string(int)> named(const char* format) {
    return [format](int number) {
        char name[256];
        std::snprintf(name, sizeof name, format, number);
        return std::string(name);
    };
}

} // namespace

// Every way of naming a sequence opens its frames in numeric order, whatever
// their format, depth and channels; what cannot be one sequence is refused
// with the reason.
TEST(ImageSequence, EveryWayOfNamingItOpensItsFramesOrSaysWhyNot) {
    TemporaryWorkingDirectory directory;
    const auto spaced = named("20151016 170128.%04d.png");
    const struct Case {
        const char* what;
        std::function<Written()> make; // in a folder of its own, "s"
        const char* open;
        const char* refusal; // nullptr: opens
        int gaps = 0;
    } cases[] = {
        {"a folder, names with spaces",
         [&] { return writeFrames("s", numbersUpTo(frameCount), spaced); }, "s", nullptr},
        {"its first frame", [&] { return writeFrames("s", numbersUpTo(frameCount), spaced); },
         "s/20151016 170128.0000.png", nullptr},
        {"a frame in the middle", [&] { return writeFrames("s", numbersUpTo(frameCount), spaced); },
         "s/20151016 170128.0003.png", nullptr},
        {"a printf pattern", [&] { return writeFrames("s", numbersUpTo(frameCount), spaced); },
         "s/20151016 170128.%04d.png", nullptr},
        {"numbers without padding, 9 before 10",
         [&] { return writeFrames("s", numbersUpTo(frameCount, 8), named("f%d.bmp")); },
         "s/f10.bmp", nullptr},
        {"a number that is not the last in the name",
         [&] { return writeFrames("s", numbersUpTo(frameCount, 1), named("%03d_take2.png")); },
         "s/002_take2.png", nullptr},
        {"16-bit grey TIFF",
         [&] {
             return writeFrames("s", numbersUpTo(frameCount), named("img_%02d.tif"), "deep grey");
         },
         "s", nullptr},
        {"16-bit grey PNG",
         [&] {
             return writeFrames("s", numbersUpTo(frameCount), named("img_%02d.png"), "deep grey");
         },
         "s/img_%02d.png", nullptr},
        {"colour JPEG",
         [&] { return writeFrames("s", numbersUpTo(frameCount), named("img_%02d.jpg"), "jpeg"); },
         "s", nullptr},
        {"grey JPEG",
         [&] {
             return writeFrames("s", numbersUpTo(frameCount), named("img_%02d.jpeg"), "grey jpeg");
         },
         "s/img_00.jpeg", nullptr},
        {"gaps in the numbering",
         [&] {
             return writeFrames("s", {1, 2, 5, 6, 9}, named("img_%02d.png"));
         },
         "s", nullptr, 2},
        {"two series in one folder",
         [&] {
             writeFrames("s", numbersUpTo(2), named("other_%03d.png"));
             return writeFrames("s", numbersUpTo(frameCount), named("img_%02d.png"));
         },
         "s", "2 numbered series: \"s/img_%02d.png\" (5 frames), \"s/other_%03d.png\" (2 frames)"},
        {"a frame of another size",
         [&] {
             Written written = writeFrames("s", numbersUpTo(frameCount), named("img_%02d.png"));
             cv::imwrite("s/img_03.png", cv::Mat(10, 10, CV_8UC3, cv::Scalar::all(9)));
             return written;
         },
         "s", "the frame \"s/img_03.png\" is 10 x 10 pixels"},
        {"a single image", [&] { return writeFrames("s", {0}, named("picture.png")); },
         "s/picture.png", "it has one frame only"},
        {"a series of one", [&] { return writeFrames("s", {7}, named("img_%02d.png")); }, "s",
         "it has one frame only"},
        {"a folder without images",
         [&] {
             fs::create_directories("s");
             std::ofstream("s/notes.txt") << "frames 1 to 5\n";
             return Written{};
         },
         "s", "it is a folder that holds no numbered images"},
        {"a pattern that matches nothing",
         [&] { return writeFrames("s", numbersUpTo(frameCount), named("img_%02d.png")); },
         "s/frame_%04d.png", "no image (PNG, JPEG, TIFF or BMP) matches the pattern"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all("s");
        const Written written = c.make();
        Refusable<OpenedRecording> opened =
            openRecordingFile(c.open, FrameCounting::ReadThroughWhereHeaderIsSilent);
        if (c.refusal) {
            ASSERT_FALSE(opened.ok());
            EXPECT_TRUE(opened.refusal().message.contains(QString::fromUtf8(c.refusal)))
                << opened.refusal().message.toStdString();
            continue;
        }
        ASSERT_TRUE(opened.ok()) << opened.refusal().message.toStdString();
        OpenedRecording& recording = *opened;
        ASSERT_EQ(recording.frameCount, static_cast<std::int64_t>(written.shown.size()));
        EXPECT_TRUE(recording.video.isImageSequence);
        EXPECT_EQ(recording.video.warnings.size(), c.gaps)
            << recording.video.warnings.join('\n').toStdString();
        EXPECT_LE(cv::norm(recording.firstFrame, written.shown[0], cv::NORM_INF),
                  written.tolerance);
        cv::Mat frame;
        for (std::size_t i = 1; i < written.shown.size(); ++i) {
            ASSERT_TRUE(recording.video.reader->read(frame)) << i;
            EXPECT_EQ(frame.type(), CV_8UC3);
            EXPECT_LE(cv::norm(frame, written.shown[i], cv::NORM_INF), written.tolerance) << i;
        }
        EXPECT_FALSE(recording.video.reader->read(frame));
        recording.video.reader->seek(2);
        ASSERT_TRUE(recording.video.reader->read(frame));
        EXPECT_LE(cv::norm(frame, written.shown[2], cv::NORM_INF), written.tolerance);
    }
}

namespace {

struct ProgramRun {
    int exitCode = -1;
    QByteArray errors;
};

ProgramRun run(const char* program, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ProgramRun result;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.errors = process.readAllStandardError();
    return result;
}

QByteArray withoutLinesNaming(const QByteArray& text, const QByteArray& name) {
    QList<QByteArray> lines = text.split('\n');
    lines.removeIf([&name](const QByteArray& line) { return line.contains(name); });
    return lines.join('\n');
}

// What a program says after "cannot open the video \"NAME\": ".
QByteArray reason(const QByteArray& errors) {
    const qsizetype line = errors.indexOf("cannot open the video");
    if (line < 0) {
        return errors;
    }
    const QByteArray said = errors.mid(line, errors.indexOf('\n', line) - line);
    return said.mid(said.indexOf("\": ") + 3);
}

} // namespace

// The same pixels give the same run: a numbered PNG series and a lossless AVI
// of its frames give the same track and the same log but for the row that
// names the file; the window and the annotation program open it too. A
// sequence has no clock to run on.
TEST(ImageSequence, TheReplayOfASequenceIsTheReplayOfTheSameFramesInALosslessAvi) {
    TemporaryWorkingDirectory directory;
    SyntheticVideoSpec spec;
    spec.width = 400;
    spec.height = 300;
    spec.frames = 60;
    cv::VideoWriter avi("frames.avi", cv::CAP_FFMPEG, cv::VideoWriter::fourcc('F', 'F', 'V', '1'),
                        25.0, cv::Size(spec.width, spec.height), true);
    ASSERT_TRUE(avi.isOpened());
    fs::create_directories("export");
    for (int index = 0; index < spec.frames; ++index) {
        const cv::Mat frame = renderFrame(spec, index);
        avi.write(frame);
        char name[64];
        std::snprintf(name, sizeof name, "export/scan 1.%04d.png", index + 1);
        ASSERT_TRUE(cv::imwrite(name, frame));
    }
    avi.release();
    const struct {
        const char* video;
        const char* name;
    } runs[] = {{"frames.avi", "avi"},
                {"export", "folder"},
                {"export/scan 1.0001.png", "frame"},
                {"export/scan 1.%04d.png", "pattern"}};
    for (const auto& r : runs) {
        const ProgramRun replay =
            run(TESSAVOLANT_REPLAY_BINARY,
                {"--select", "207,205,21,19", "--log", QString(r.name) + ".log", "--track",
                 QString(r.name) + ".csv", r.video});
        ASSERT_EQ(replay.exitCode, 0) << r.video << ": " << replay.errors.constData();
    }
    const QByteArray aviLog = readBytes("avi.log");
    const QByteArray aviTrack = readBytes("avi.csv");
    EXPECT_GT(aviLog.count('\n'), 10);
    EXPECT_GT(aviTrack.count('\n'), 50);
    for (const char* name : {"folder", "frame", "pattern"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(readBytes(std::string(name) + ".csv"), aviTrack);
        EXPECT_EQ(withoutLinesNaming(readBytes(std::string(name) + ".log"), "export"),
                  withoutLinesNaming(aviLog, "frames.avi"));
    }

    // The window and the annotation program open the folder as the replay does.
    {
        MainWindow window(nullptr, VideoFileName(QStringLiteral("export")),
                          QStringLiteral("window.log"));
        EXPECT_TRUE(window.isReady()) << window.openRefusal().toStdString();
    }
    const Refusable<Recording> annotated = openRecording(QStringLiteral("export"));
    ASSERT_TRUE(annotated.ok()) << annotated.refusal().message.toStdString();
    EXPECT_EQ(annotated->frameCount, spec.frames);
    EXPECT_EQ(annotated->truthName, "export-truth.csv");

    const ProgramRun clock = run(TESSAVOLANT_REPLAY_BINARY,
                                 {"--select", "207,205,21,19", "--clock", "recording", "export"});
    EXPECT_NE(clock.exitCode, 0);
    EXPECT_TRUE(clock.errors.contains("no clock of its own")) << clock.errors.constData();
    EXPECT_TRUE(clock.errors.contains("--clock MS")) << clock.errors.constData();
}

// One frame is one frame, in a file of its own or as a series of one: every
// program refuses it in the same words.
TEST(ImageSequence, EveryProgramRefusesOneFrameInTheSameWords) {
    TemporaryWorkingDirectory directory;
    ASSERT_TRUE(cv::imwrite("picture.png", colourFrame(0)));
    fs::create_directories("series");
    ASSERT_TRUE(cv::imwrite("series/img_0001.png", colourFrame(0)));
    for (const char* video : {"picture.png", "series", "series/img_%04d.png"}) {
        SCOPED_TRACE(video);
        QList<QByteArray> reasons;
        for (const char* program :
             {TESSAVOLANT_BINARY, TESSAVOLANT_REPLAY_BINARY, TESSAVOLANT_ANNOTATE_BINARY}) {
            const bool replay = std::string(program) == TESSAVOLANT_REPLAY_BINARY;
            const ProgramRun refused = run(
                program, replay ? QStringList{"--select", "1,1,4,4", video} : QStringList{video});
            EXPECT_EQ(refused.exitCode, 1) << program;
            reasons << reason(refused.errors);
        }
        EXPECT_TRUE(reasons[0].contains("it has one frame only")) << reasons[0].constData();
        EXPECT_EQ(reasons[1], reasons[0]);
        EXPECT_EQ(reasons[2], reasons[0]);
    }
}

// A file is DICOM by its content: a video whose first 64 KiB a dying
// recorder left zeroed, or that holds the DICOM mark by chance, goes to the
// video decoder; what neither can read is not called DICOM.
TEST(ImageSequence, OnlyDicomContentIsTakenForDicom) {
    TemporaryWorkingDirectory directory;
    SyntheticVideoSpec spec;
    spec.width = 320;
    spec.height = 240;
    spec.frames = 40;
    ASSERT_TRUE(writeSyntheticVideo("good.avi", "", spec));
    const QByteArray avi = readBytes("good.avi");
    const auto write = [](const char* name, const QByteArray& bytes) {
        std::ofstream(name, std::ios::binary).write(bytes.constData(), bytes.size());
    };
    write("zero-headed.avi", QByteArray(64 * 1024, '\0') + avi.mid(64 * 1024));
    write("zeros-before.avi", QByteArray(64 * 1024, '\0') + avi);
    QByteArray marked = avi;
    marked.replace(128, 4, "DICM");
    write("marked.avi", marked);
    write("zeros", QByteArray(200 * 1024, '\0'));

    const struct {
        const char* name;
        bool dicom;
        bool plays;
    } cases[] = {{"zero-headed.avi", false, true},
                 {"zeros-before.avi", false, true},
                 {"marked.avi", true, true},
                 {"zeros", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isDicomFile(c.name), c.dicom);
        // FFmpeg itself finds frames in the file, or none.
        cv::VideoCapture capture(c.name, cv::CAP_FFMPEG);
        cv::Mat frame;
        int decodable = 0;
        while (decodable < 2 && capture.read(frame)) {
            ++decodable;
        }
        ASSERT_EQ(decodable, c.plays ? 2 : 0);
        const Refusable<OpenedRecording> opened =
            openRecordingFile(c.name, FrameCounting::ReadThroughWhereHeaderIsSilent);
        if (c.plays) {
            EXPECT_TRUE(opened.ok()) << opened.refusal().message.toStdString();
        } else {
            ASSERT_FALSE(opened.ok());
            EXPECT_FALSE(opened.refusal().message.contains("DICOM"))
                << opened.refusal().message.toStdString();
        }
    }
}
