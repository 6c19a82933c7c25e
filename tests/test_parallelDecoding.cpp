// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding on several threads is invisible: the reader hands out the frames,
// read results and positions of the one reader through reads, seeks, wraps
// and the end of the stream, and the replay writes the same log and track
// with one thread and with several.

#include "tests/testSupport.h"
#include "tools/badInputs.h"
#include "tools/syntheticDicom.h"
#include "tools/syntheticVideo.h"
#include "tracking/parallelFrameReader.h"
#include "tracking/videoOpening.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace {

struct Step {
    std::string what;
    bool ok = false;
    std::int64_t after = 0;
    cv::Mat frame;
};

// Reads, seeks and wraps as the frame cycle and the video slider do them,
// noting what each gives.
std::vector<Step> play(FrameReader& reader, std::int64_t count) {
    std::vector<Step> steps;
    const auto note = [&](const std::string& what, bool ok, cv::Mat frame = {}) {
        steps.push_back({what, ok, reader.position(), std::move(frame)});
    };
    const auto read = [&](const std::string& what) {
        cv::Mat frame;
        const bool ok = reader.read(frame);
        note(what, ok, frame);
    };
    for (int i = 0; i < 5; ++i) {
        read("first reads");
    }
    reader.seek(2);
    note("seek back", true);
    read("read after seeking back");
    reader.seek(3); // the frame due next
    note("seek to the next frame", true);
    read("read after seeking to the next frame");
    reader.seek(count - 4);
    note("seek near the end", true);
    reader.planWrap(count - 1, 1);
    for (std::int64_t i = 0; i < 2 * count; ++i) {
        if (reader.position() == count - 1) {
            reader.seek(1);
            note("wrap", true);
        }
        read("playing across wraps");
    }
    reader.seek(count - 2);
    read("read on at the wrap point");
    read("read the last frame");
    read("read past the end");
    read("read past the end again");
    reader.seek(count + 3);
    note("seek behind the end", true);
    reader.seek(0);
    read("read after seeking to the start");
    return steps;
}

struct Recording {
    const char* name;
    std::function<std::string(const TemporaryWorkingDirectory&)> write;
};

void PrintTo(const Recording& recording, std::ostream* out) {
    *out << recording.name;
}

constexpr int frameCount = 40;

std::vector<cv::Mat> greyFrames() {
    SyntheticVideoSpec spec;
    spec.width = 96;
    spec.height = 64;
    std::vector<cv::Mat> frames;
    for (int i = 0; i < frameCount; ++i) {
        cv::Mat grey;
        cv::cvtColor(renderFrame(spec, i), grey, cv::COLOR_BGR2GRAY);
        cv::putText(grey, std::to_string(i), {10, 40}, cv::FONT_HERSHEY_SIMPLEX, 1.0, 255, 2);
        frames.push_back(grey);
    }
    return frames;
}

std::string dicom(const TemporaryWorkingDirectory& directory, syntheticdicom::Encoding encoding) {
    syntheticdicom::DicomSpec spec;
    spec.encoding = encoding;
    const std::string path = directory.file("loop.dcm");
    return syntheticdicom::writeDicom(path, greyFrames(), spec) ? path : std::string();
}

std::string mjpg(const std::string& path) {
    cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0,
                           {96, 64});
    for (const cv::Mat& grey : greyFrames()) {
        cv::Mat colour;
        cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
        writer.write(colour);
    }
    return path;
}

const Recording recordings[] = {
    {"Mjpg", [](const auto& directory) { return mjpg(directory.file("video.avi")); }},
    // Frames 8 to 11, across a run's start: the decoder skips them, and the
    // positions it counts no longer match the frames.
    {"MjpgWithDamagedFrames",
     [](const auto& directory) {
         const std::string damaged = directory.file("damaged.avi");
         return badinputs::writeWithDamagedFrames(mjpg(directory.file("video.avi")), damaged, 8, 4,
                                                  2)
                    ? damaged
                    : std::string();
     }},
    {"DicomJpeg",
     [](const auto& directory) {
         return dicom(directory, syntheticdicom::Encoding::JpegBaseline);
     }},
    {"DicomJpegLs",
     [](const auto& directory) { return dicom(directory, syntheticdicom::Encoding::JpegLs); }},
    {"DicomUncompressed",
     [](const auto& directory) {
         return dicom(directory, syntheticdicom::Encoding::ExplicitLittle);
     }},
};

class ParallelReading : public testing::TestWithParam<Recording> {};

// Runs of 3 frames put a run's end at every few frames, the wrap and the end
// of the stream among them.
TEST_P(ParallelReading, GivesWhatTheOneReaderGives) {
    TemporaryWorkingDirectory directory;
    const std::string path = GetParam().write(directory);
    std::optional<OpenedVideo> alone = openFrameReader(path);
    std::optional<OpenedVideo> first = openFrameReader(path);
    ASSERT_TRUE(alone && first);
    ASSERT_EQ(alone->headerFrameCount, frameCount);
    std::vector<std::unique_ptr<FrameReader>> readers;
    for (int i = 0; i < 2; ++i) {
        readers.push_back(first->reader->openAnother());
        ASSERT_TRUE(readers.back());
    }
    readers.push_back(std::move(first->reader));
    ParallelFrameReader parallel(std::move(readers), frameCount, 3);

    const std::vector<Step> expected = play(*alone->reader, frameCount);
    const std::vector<Step> steps = play(parallel, frameCount);
    ASSERT_EQ(steps.size(), expected.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "step " << i << ": " << expected[i].what);
        EXPECT_EQ(steps[i].ok, expected[i].ok);
        EXPECT_EQ(steps[i].after, expected[i].after);
        ASSERT_EQ(steps[i].frame.size(), expected[i].frame.size());
        if (!expected[i].frame.empty()) {
            EXPECT_EQ(cv::norm(steps[i].frame, expected[i].frame, cv::NORM_INF), 0.0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Recordings, ParallelReading, testing::ValuesIn(recordings),
                         [](const auto& info) { return std::string(info.param.name); });

// Frames coded as changes to others keep the one reading thread.
TEST(ParallelReadingOf, AnInterFrameCodecKeepsTheOneReader) {
    TemporaryWorkingDirectory directory;
    const std::string path = directory.file("video.avi");
    {
        cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('F', 'M', 'P', '4'),
                               25.0, {96, 64});
        ASSERT_TRUE(writer.isOpened());
        for (const cv::Mat& grey : greyFrames()) {
            cv::Mat colour;
            cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
            writer.write(colour);
        }
    }
    std::optional<OpenedVideo> opened = openFrameReader(path);
    ASSERT_TRUE(opened);
    const FrameReader* reader = opened->reader.get();
    EXPECT_EQ(
        onThreads(std::move(opened->reader), 2, opened->headerFrameCount, opened->headerFrameSize)
            .get(),
        reader);
}

// The whole replay, with more threads than runs fit between two wraps.
TEST(ParallelReplay, WritesTheSameLogAndTrackOnOneThreadAndOnSeveral) {
    TemporaryWorkingDirectory directory;
    SyntheticVideoSpec spec;
    spec.frames = 60;
    const QString video = writeVideo(directory.file("demo.avi"), spec);
    syntheticdicom::DicomSpec dicomSpec;
    dicomSpec.encoding = syntheticdicom::Encoding::JpegLs;
    std::vector<cv::Mat> frames;
    for (int i = 0; i < spec.frames; ++i) {
        frames.push_back(renderFrame(spec, i));
        cv::cvtColor(frames.back(), frames.back(), cv::COLOR_BGR2GRAY);
    }
    ASSERT_TRUE(syntheticdicom::writeDicom(directory.file("loop.dcm"), frames, dicomSpec));

    for (const QString& recording : {video, QString::fromStdString(directory.file("loop.dcm"))}) {
        QByteArray logs[2];
        QByteArray tracks[2];
        const char* threads[] = {"1", "3"};
        for (int i = 0; i < 2; ++i) {
            const QString log = QStringLiteral("replay%1.log").arg(i);
            const QString track = QStringLiteral("track%1.csv").arg(i);
            const ProgramOutput run =
                runToEnd(TESSAVOLANT_REPLAY_BINARY,
                         {"--select", "207,205,21,19", "--ticks", "150", "--threads", threads[i],
                          "--log", log, "--track", track, "-q", recording});
            ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
            logs[i] = readBytes(directory.file(log.toStdString()));
            tracks[i] = readBytes(directory.file(track.toStdString()));
        }
        EXPECT_GT(logs[0].count('\n'), 10);
        EXPECT_EQ(tracks[0].count('\n'), 151);
        EXPECT_EQ(logs[1], logs[0]) << recording.toStdString();
        EXPECT_EQ(tracks[1], tracks[0]) << recording.toStdString();
    }
}

} // namespace
