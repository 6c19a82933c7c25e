// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding on several threads is invisible: the reader hands out the frames,
// read results and positions of the one reader through reads, seeks, wraps
// and the end of the stream, and the replay writes the same log and track
// with one thread and with several.

#include "tests/testSupport.h"
#include "tools/badInputs.h"
#include "tools/syntheticDicom.h"
#include "tools/syntheticVideo.h"
#include "tracking/packetReader.h"
#include "tracking/parallelFrameReader.h"
#include "tracking/videoOpening.h"

#include <filesystem>
#include <opencv2/imgcodecs.hpp>
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
    bool onThreads = true; // else it keeps the one reader
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

std::string avi(const std::string& path, int fourcc) {
    cv::VideoWriter writer(path, cv::CAP_FFMPEG, fourcc, 25.0, {96, 64});
    for (const cv::Mat& grey : greyFrames()) {
        cv::Mat colour;
        cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
        writer.write(colour);
    }
    return path;
}

std::string mjpg(const std::string& path) {
    return avi(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
}

// Frames 8 to 11 with no colour components, across a run's start: the
// decoder refuses them, each fails a read, and the positions counted from
// then on no longer match the frames.
std::string withUndecodableFrames(const std::string& path) {
    std::string bytes = badinputs::readFile(path);
    const std::string frameHeader("\xff\xc0\x00\x11\x08", 5);
    std::size_t at = 0;
    for (int frame = 0; frame < 12 && at != std::string::npos; ++frame) {
        at = bytes.find(frameHeader, at + 1);
        if (frame >= 8 && at != std::string::npos) {
            bytes[at + 9] = '\0';
        }
    }
    return at != std::string::npos && badinputs::writeFile(path, bytes) ? path : std::string();
}

std::string imageSequence(const TemporaryWorkingDirectory& directory) {
    const std::string folder = directory.file("frames");
    std::filesystem::create_directory(folder);
    int number = 0;
    for (const cv::Mat& grey : greyFrames()) {
        cv::imwrite(folder + "/frame" + std::to_string(100 + number++) + ".png", grey);
    }
    return folder;
}

const Recording recordings[] = {
    {"Mjpg", [](const auto& directory) { return mjpg(directory.file("video.avi")); }},
    {"Uncompressed", [](const auto& directory) { return avi(directory.file("video.avi"), 0); }},
    // Frames coded as changes to others keep the one reading thread.
    {"Mpeg4",
     [](const auto& directory) {
         return avi(directory.file("video.avi"), cv::VideoWriter::fourcc('F', 'M', 'P', '4'));
     },
     false},
    // Frames 8 to 11, across a run's start: the decoder skips them, and the
    // positions it counts no longer match the frames.
    {"MjpgWithUndecodableFrames",
     [](const auto& directory) {
         return withUndecodableFrames(mjpg(directory.file("video.avi")));
     }},
    // Random bytes over whole frames, JPEG headers and all: which tables
    // the decoder would carry over them cannot be told, so it keeps one reader.
    {"MjpgWithDamagedFrames",
     [](const auto& directory) {
         const std::string damaged = directory.file("damaged.avi");
         return badinputs::writeWithDamagedFrames(mjpg(directory.file("video.avi")), damaged, 8, 4,
                                                  2)
                    ? damaged
                    : std::string();
     },
     false},
    {"ImageSequence", imageSequence},
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
    for (int i = 0; i < 3; ++i) {
        readers.push_back(first->reader->openAnother());
        if (!GetParam().onThreads) {
            ASSERT_FALSE(readers.back());
            return;
        }
        ASSERT_TRUE(readers.back());
    }
    ParallelFrameReader parallel(std::move(readers), 0, frameCount, 3);

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

// A JPEG picture as bytes: SOI, the given segments (marker and payload), SOS.
std::vector<unsigned char> jpeg(std::initializer_list<std::pair<unsigned char, int>> segments) {
    std::vector<unsigned char> bytes{0xff, 0xd8};
    for (const auto& [marker, payload] : segments) {
        bytes.insert(bytes.end(), {0xff, marker, static_cast<unsigned char>((payload + 2) >> 8),
                                   static_cast<unsigned char>((payload + 2) & 0xff)});
        bytes.insert(bytes.end(), static_cast<std::size_t>(payload), 0x11);
    }
    bytes.insert(bytes.end(), {0xff, 0xda, 0x00, 0x02, 0x55});
    return bytes;
}

// Which pictures carry their own tables, and which streams therefore decode
// alike in any order.
TEST(JpegTablesOf, PicturesAndStreams) {
    const auto tables = [](const std::vector<unsigned char>& bytes) {
        return jpegTables(bytes.data(), bytes.size());
    };
    const JpegTables complete = tables(jpeg({{0xe0, 14}, {0xdb, 67}, {0xc0, 15}, {0xc4, 31}}));
    EXPECT_TRUE(complete.wellFormed && complete.quantisation && complete.huffman);
    const JpegTables motionJpeg = tables(jpeg({{0xdb, 67}, {0xc0, 15}}));
    EXPECT_TRUE(motionJpeg.wellFormed && motionJpeg.quantisation && !motionJpeg.huffman);
    std::vector<unsigned char> cut = jpeg({{0xdb, 67}, {0xc4, 31}});
    cut.resize(cut.size() - 40);
    EXPECT_FALSE(tables(cut).wellFormed);
    EXPECT_FALSE(tables({0x89, 'P', 'N', 'G'}).wellFormed);
    const JpegTables noQuantisation = tables(jpeg({{0xc0, 15}}));

    struct Stream {
        const char* what;
        std::vector<JpegTables> pictures;
        bool codedAlone;
    };
    const Stream streams[] = {
        {"every picture complete", {complete, complete}, true},
        {"motion JPEG's standard Huffman tables", {motionJpeg, motionJpeg}, true},
        {"Huffman tables first, then none", {complete, motionJpeg}, false},
        {"none first, then some", {motionJpeg, complete}, false},
        {"quantisation tables carried over", {complete, noQuantisation}, false},
        {"a picture cut short", {complete, tables(cut)}, false},
    };
    for (const Stream& stream : streams) {
        JpegStreamCheck check;
        for (const JpegTables& picture : stream.pictures) {
            check.add(picture);
        }
        EXPECT_EQ(check.codedAlone(), stream.codedAlone) << stream.what;
    }
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
