// SPDX-License-Identifier: GPL-3.0-or-later
#include "testSupport.h"
#include "tools/syntheticDicom.h"
#include "tracking/recordingInfo.h"
#include "tracking/videoOpening.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

using namespace syntheticdicom;

namespace {

constexpr int frameCount = 4;
const cv::Size frameSize(48, 32);

// Smooth pictures that differ from frame to frame, as lossy codecs like them.
cv::Mat colourFrame(int index) {
    cv::Mat frame(frameSize, CV_8UC3);
    for (int y = 0; y < frame.rows; ++y) {
        for (int x = 0; x < frame.cols; ++x) {
            frame.at<cv::Vec3b>(y, x) =
                cv::Vec3b(static_cast<uchar>(x * 5), static_cast<uchar>(y * 7 + index * 10),
                          static_cast<uchar>(200 - index * 30));
        }
    }
    return frame;
}

cv::Mat greyFrame(int index) {
    cv::Mat grey;
    cv::cvtColor(colourFrame(index), grey, cv::COLOR_BGR2GRAY);
    return grey;
}

cv::Mat wideFrame(int index) {
    cv::Mat wide;
    greyFrame(index).convertTo(wide, CV_16U, 16.0); // 12 bits used
    return wide;
}

cv::Mat asBgr(const cv::Mat& grey) {
    cv::Mat bgr;
    cv::cvtColor(grey, bgr, cv::COLOR_GRAY2BGR);
    return bgr;
}

cv::Mat levels(const cv::Mat& wide, double low, double high) {
    cv::Mat eight;
    wide.convertTo(eight, CV_8U, 255.0 / (high - low), -low * 255.0 / (high - low));
    return asBgr(eight);
}

struct FormatCase {
    const char* name;
    DicomSpec spec;
    cv::Mat (*stored)(int);
    cv::Mat (*expected)(int);
    double tolerance;
};

DicomSpec with(Encoding encoding, const char* photometric = "MONOCHROME2",
               std::function<void(gdcm::DataSet&)> attributes = {}) {
    DicomSpec spec;
    spec.encoding = encoding;
    spec.photometric = photometric;
    spec.addAttributes = std::move(attributes);
    return spec;
}

// The storage classes of cine loops beside ultrasound multi-frame.
DicomSpec ofClass(DicomSpec spec, const char* sopClassUid) {
    spec.sopClassUid = sopClassUid;
    return spec;
}

cv::Mat greyShown(int index) {
    return asBgr(greyFrame(index));
}

std::vector<FormatCase> formatCases() {
    DicomSpec palette = with(Encoding::ExplicitLittle, "PALETTE COLOR");
    for (int entry = 0; entry < 256; ++entry) {
        // Red rises, green falls, blue is the index's lowest bits.
        palette.palette.emplace_back(static_cast<ushort>(entry * 257),
                                     static_cast<ushort>((255 - entry) * 257),
                                     static_cast<ushort>((entry % 16) * 257));
    }
    DicomSpec twelveBits = with(Encoding::ExplicitLittle);
    twelveBits.bitsStored = 12;
    DicomSpec rleTwelveBits = twelveBits;
    rleTwelveBits.encoding = Encoding::Rle;
    return {
        {"grey, implicit VR, X-ray angiography",
         ofClass(with(Encoding::ImplicitLittle), "1.2.840.10008.5.1.4.1.1.12.1"), greyFrame,
         greyShown, 0},
        {"grey, explicit VR, radiofluoroscopy",
         ofClass(with(Encoding::ExplicitLittle), "1.2.840.10008.5.1.4.1.1.12.2"), greyFrame,
         greyShown, 0},
        {"grey, MONOCHROME1", with(Encoding::ExplicitLittle, "MONOCHROME1"), greyFrame,
         [](int i) { return asBgr(255 - greyFrame(i)); }, 0},
        {"16 bits with a window",
         with(Encoding::ExplicitLittle, "MONOCHROME2",
              [](gdcm::DataSet& data) {
                  setText(data, 0x0028, 0x1050, "2048"); // centre
                  setText(data, 0x0028, 0x1051, "2049"); // width: 1024 .. 3072
              }),
         wideFrame, [](int i) { return levels(wideFrame(i), 1024, 3072); }, 1},
        {"12 of 16 bits by their range", twelveBits, wideFrame,
         [](int i) { return levels(wideFrame(i), 0, 4095); }, 1},
        {"RGB, multi-frame true colour secondary capture",
         ofClass(with(Encoding::ExplicitLittle, "RGB"), "1.2.840.10008.5.1.4.1.1.7.4"), colourFrame,
         colourFrame, 0},
        {"YBR_FULL", with(Encoding::ExplicitLittle, "YBR_FULL"), colourFrame, colourFrame, 2},
        {"palette", palette, greyFrame,
         [](int i) {
             cv::Mat expected(frameSize, CV_8UC3);
             const cv::Mat grey = greyFrame(i);
             for (int y = 0; y < grey.rows; ++y) {
                 for (int x = 0; x < grey.cols; ++x) {
                     const uchar entry = grey.at<uchar>(y, x);
                     expected.at<cv::Vec3b>(y, x) =
                         cv::Vec3b(static_cast<uchar>(entry % 16), 255 - entry, entry);
                 }
             }
             return expected;
         },
         0},
        {"deflated RGB", with(Encoding::Deflated, "RGB"), colourFrame, colourFrame, 0},
        {"RLE RGB", with(Encoding::Rle, "RGB"), colourFrame, colourFrame, 0},
        {"RLE 16 bits", rleTwelveBits, wideFrame,
         [](int i) { return levels(wideFrame(i), 0, 4095); }, 1},
        {"JPEG baseline, YBR", with(Encoding::JpegBaseline, "RGB"), colourFrame, colourFrame, 12},
        {"JPEG baseline grey", with(Encoding::JpegBaseline), greyFrame, greyShown, 8},
        {"JPEG lossless, multi-frame grey secondary capture",
         ofClass(with(Encoding::JpegLossless), "1.2.840.10008.5.1.4.1.1.7.2"), greyFrame, greyShown,
         0},
        {"JPEG-LS lossless RGB", with(Encoding::JpegLs, "RGB"), colourFrame, colourFrame, 0},
        {"JPEG 2000 lossless", with(Encoding::Jpeg2000Lossless), greyFrame, greyShown, 0},
    };
}

std::vector<cv::Mat> framesOf(cv::Mat (*make)(int)) {
    std::vector<cv::Mat> frames;
    for (int index = 0; index < frameCount; ++index) {
        frames.push_back(make(index));
    }
    return frames;
}

double difference(const cv::Mat& actual, const cv::Mat& expected) {
    if (actual.size() != expected.size() || actual.type() != expected.type()) {
        return 1e9;
    }
    return cv::norm(actual, expected, cv::NORM_INF);
}

} // namespace

// Each encoding gives the frames written, in order and after a seek back,
// whatever the file is called.
TEST(DicomLoop, EveryEncodingGivesItsFramesAndSeeksExactly) {
    TemporaryWorkingDirectory directory;
    for (const FormatCase& format : formatCases()) {
        SCOPED_TRACE(format.name);
        const std::string path = directory.file("loop.bin");
        ASSERT_TRUE(writeDicom(path, framesOf(format.stored), format.spec));
        Refusable<OpenedVideo> opened = openVideoReader(path);
        ASSERT_TRUE(opened.ok()) << opened.refusal().message.toStdString();
        EXPECT_EQ(opened->headerFrameCount, frameCount);
        EXPECT_EQ(opened->headerFrameSize, frameSize);
        cv::Mat frame;
        for (int index = 0; index < frameCount; ++index) {
            ASSERT_TRUE(opened->reader->read(frame));
            EXPECT_LE(difference(frame, format.expected(index)), format.tolerance) << index;
        }
        EXPECT_FALSE(opened->reader->read(frame));
        opened->reader->seek(2);
        EXPECT_EQ(opened->reader->position(), 2);
        ASSERT_TRUE(opened->reader->read(frame));
        EXPECT_LE(difference(frame, format.expected(2)), format.tolerance);
        opened->reader->seek(0);
        ASSERT_TRUE(opened->reader->read(frame));
        EXPECT_LE(difference(frame, format.expected(0)), format.tolerance);
    }
}

// A data set written without the preamble and its "DICM" mark is DICOM still.
TEST(DicomLoop, AFileWithoutPreambleIsRecognised) {
    TemporaryWorkingDirectory directory;
    ASSERT_TRUE(writeDicom(directory.file("full.dcm"), framesOf(greyFrame),
                           with(Encoding::ExplicitLittle)));
    const QByteArray bytes = readBytes(directory.file("full.dcm"));
    std::ofstream(directory.file("bare"), std::ios::binary)
        .write(bytes.constData() + 132, bytes.size() - 132);
    std::optional<OpenedVideo> opened = openFrameReader(directory.file("bare"));
    ASSERT_TRUE(opened.has_value());
    cv::Mat frame;
    opened->reader->seek(3);
    ASSERT_TRUE(opened->reader->read(frame));
    EXPECT_EQ(difference(frame, greyShown(3)), 0);
}

namespace {

struct InfoCase {
    const char* name;
    std::function<void(gdcm::DataSet&)> attributes;
    std::optional<double> frameTimeMs;
    std::vector<double> frameTimesMs;
    std::optional<MmPerPixel> mmPerPixel;
    QString source;
    int warnings;
};

std::function<void(gdcm::DataSet&)>
texts(std::vector<std::pair<std::uint32_t, std::string>> values) {
    return [values](gdcm::DataSet& data) {
        for (const auto& [tag, value] : values) {
            setText(data, static_cast<unsigned short>(tag >> 16),
                    static_cast<unsigned short>(tag & 0xffff), value);
        }
    };
}

} // namespace

TEST(DicomLoop, RecordingInfoComesFromTimingAndCalibrationAttributes) {
    const std::vector<InfoCase> cases = {
        {"Frame Time", texts({{0x00181063, "40"}, {0x00180040, "10"}}), 40.0, {}, {}, "", 0},
        {"Frame Time Vector",
         texts({{0x00181065, "0\\30\\36\\33"}}),
         33.0,
         {0, 30, 36, 33},
         {},
         "",
         0},
        {"zero Frame Time, then Cine Rate",
         texts({{0x00181063, "0"}, {0x00180040, "25"}}),
         40.0,
         {},
         {},
         "",
         1},
        {"Recommended Display Frame Rate", texts({{0x00082144, "50"}}), 20.0, {}, {}, "", 0},
        {"ultrasound region holding the middle",
         [](gdcm::DataSet& data) {
             // A wide strip below the picture and the imaged sector around its middle.
             addUltrasoundRegions(data, {{0, 24, 47, 31, 0.5, 0.5},
                                         {10, 4, 40, 22, 0.02, 0.03},
                                         {0, 0, 47, 31, 1.0, 1.0, 0, 0}});
             setText(data, 0x0028, 0x0030, "0.3\\0.2"); // agrees with it
         },
         {},
         {},
         MmPerPixel{0.2, 0.3},
         "ultrasound region",
         0},
        // Scaled after its region was written: no pixel size of the file fits it.
        {"ultrasound region larger than the picture",
         [](gdcm::DataSet& data) {
             addUltrasoundRegions(data, {{0, 0, 95, 63, 0.02, 0.02}});
             setText(data, 0x0028, 0x0030, "0.2\\0.2");
         },
         {},
         {},
         {},
         "",
         1},
        {"ultrasound region against Pixel Spacing",
         [](gdcm::DataSet& data) {
             addUltrasoundRegions(data, {{0, 0, 47, 31, 0.02, 0.02}});
             setText(data, 0x0028, 0x0030, "0.4\\0.4");
         },
         {},
         {},
         {},
         "",
         1},
        {"Pixel Spacing against Pixel Aspect Ratio",
         texts({{0x00280030, "0.3\\0.2"}, {0x00280034, "1\\1"}}),
         {},
         {},
         {},
         "",
         1},
        {"Pixel Spacing, rows first",
         texts({{0x00280030, "0.3\\0.2"}}),
         {},
         {},
         MmPerPixel{0.2, 0.3},
         "Pixel Spacing",
         0},
        {"Imager Pixel Spacing through the magnification",
         texts({{0x00181164, "0.4\\0.3"}, {0x00181114, "2"}}),
         {},
         {},
         MmPerPixel{0.15, 0.2},
         "Imager Pixel Spacing and magnification",
         0},
        {"negative Pixel Spacing",
         texts({{0x00280030, "-0.3\\0.2"}, {0x00181063, "1e9"}}),
         {},
         {},
         {},
         "",
         2},
    };
    TemporaryWorkingDirectory directory;
    for (const InfoCase& info : cases) {
        SCOPED_TRACE(info.name);
        DicomSpec spec = with(Encoding::ExplicitLittle, "MONOCHROME2", info.attributes);
        ASSERT_TRUE(writeDicom(directory.file("info.dcm"), framesOf(greyFrame), spec));
        const RecordingInfo read = readRecordingInfo(directory.file("info.dcm"));
        EXPECT_TRUE(read.isDicom);
        ASSERT_EQ(read.frameTimeMs.has_value(), info.frameTimeMs.has_value());
        if (info.frameTimeMs) {
            EXPECT_DOUBLE_EQ(*read.frameTimeMs, *info.frameTimeMs);
        }
        EXPECT_EQ(read.frameTimesMs, info.frameTimesMs);
        ASSERT_EQ(read.mmPerPixel.has_value(), info.mmPerPixel.has_value());
        if (info.mmPerPixel) {
            EXPECT_DOUBLE_EQ(read.mmPerPixel->x, info.mmPerPixel->x);
            EXPECT_DOUBLE_EQ(read.mmPerPixel->y, info.mmPerPixel->y);
        }
        EXPECT_EQ(read.calibrationSource, info.source);
        EXPECT_EQ(read.warnings.size(), info.warnings) << read.warnings.join(' ').toStdString();
    }
}

namespace {

struct ProgramRun {
    int exitCode = -1;
    QByteArray errors;
};

ProgramRun replay(const QStringList& arguments) {
    QProcess program;
    program.start(TESSAVOLANT_REPLAY_BINARY, arguments);
    ProgramRun run;
    if (program.waitForFinished(120000) && program.exitStatus() == QProcess::NormalExit) {
        run.exitCode = program.exitCode();
    }
    run.errors = program.readAllStandardError();
    return run;
}

// The log without the rows that name the video.
QByteArray withoutVideoName(QByteArray log, const QByteArray& name) {
    QList<QByteArray> lines = log.split('\n');
    lines.removeIf([&name](const QByteArray& line) { return line.contains(name); });
    return lines.join('\n');
}

} // namespace

// The same pixels give the same run: only the row naming the file differs.
TEST(DicomLoop, TheReplayOfADicomLoopLogsWhatTheSameFramesInAnAviLog) {
    TemporaryWorkingDirectory directory;
    SyntheticVideoSpec spec;
    spec.width = 400;
    spec.height = 300;
    spec.frames = 60;
    ASSERT_TRUE(writeSyntheticVideo(directory.file("loop.avi"), "", spec));
    std::optional<OpenedVideo> avi = openFrameReader(directory.file("loop.avi"));
    ASSERT_TRUE(avi.has_value());
    std::vector<cv::Mat> frames;
    for (cv::Mat frame; avi->reader->read(frame);) {
        frames.push_back(frame.clone());
    }
    ASSERT_EQ(frames.size(), 60u);
    ASSERT_TRUE(writeDicom(directory.file("loop.dcm"), frames, with(Encoding::Rle, "RGB")));
    for (const char* name : {"loop.avi", "loop.dcm"}) {
        const ProgramRun run =
            replay({"--select", "207,205,21,19", "--log", QString(name) + ".log", name});
        ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
    }
    const QByteArray aviLog = readBytes(directory.file("loop.avi.log"));
    EXPECT_TRUE(aviLog.contains("loop.avi"));
    EXPECT_GT(aviLog.count('\n'), 10);
    EXPECT_EQ(withoutVideoName(readBytes(directory.file("loop.dcm.log")), "loop.dcm"),
              withoutVideoName(aviLog, "loop.avi"));
}

// A loop's own frame time and pixel size reach the replay: the ticks follow
// its 50 ms a frame and the distances come in millimetres beside pixels.
TEST(DicomLoop, TheReplayRunsALoopOnItsOwnClockAndMeasuresInMillimetres) {
    TemporaryWorkingDirectory directory;
    SyntheticVideoSpec spec;
    spec.frames = 40;
    ASSERT_TRUE(writeSyntheticVideo(directory.file("loop.avi"), directory.file("truth.csv"), spec));
    std::optional<OpenedVideo> avi = openFrameReader(directory.file("loop.avi"));
    ASSERT_TRUE(avi.has_value());
    std::vector<cv::Mat> frames;
    for (cv::Mat frame; avi->reader->read(frame);) {
        frames.push_back(frame.clone());
    }
    ASSERT_TRUE(writeDicom(directory.file("loop.dcm"), frames,
                           with(Encoding::Rle, "RGB", [&frames](gdcm::DataSet& data) {
                               setText(data, 0x0018, 0x1063, "50");
                               addUltrasoundRegions(data, {{0, 0, frames[0].cols - 1,
                                                            frames[0].rows - 1, 0.02, 0.02}});
                           })));
    const ProgramRun run =
        replay({"--select", "207,205,21,19", "--ticks", "30", "--clock", "recording", "--truth",
                "truth.csv", "--report", "report.json", "--track", "track.csv", "loop.dcm"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.constData();

    const QJsonObject report = QJsonDocument::fromJson(readBytes("report.json")).object();
    const QJsonObject settings = report["settings"].toObject();
    EXPECT_EQ(settings["frame_time_ms"].toDouble(), 50.0);
    EXPECT_EQ(settings["tick_ms"].toDouble(), 50.0);
    EXPECT_EQ(settings["mm_per_pixel"].toArray().toVariantList(), QVariantList({0.2, 0.2}));
    const double px = report["tracking_error_px"].toObject()["mean"].toDouble();
    const double mm = report["tracking_error_mm"].toObject()["mean"].toDouble();
    EXPECT_GT(px, 0.0);
    EXPECT_NEAR(mm, 0.2 * px, 1e-9);

    const QList<QByteArray> rows = readBytes("track.csv").split('\n');
    ASSERT_GT(rows.size(), 3);
    const qsizetype column = rows[0].split(',').indexOf("time_s");
    ASSERT_GE(column, 0);
    EXPECT_NEAR(rows[2].split(',')[column].toDouble() - rows[1].split(',')[column].toDouble(), 0.05,
                1e-9);
}

// A loop whose ultrasound region is larger than its picture gives no
// millimetre: the report and stderr say why and name --mm-per-pixel.
TEST(DicomLoop, ACalibrationThatCannotBeRightGivesNoMillimetreButAWarning) {
    TemporaryWorkingDirectory directory;
    SyntheticVideoSpec spec;
    spec.width = 320;
    spec.height = 240;
    spec.frames = 30;
    ASSERT_TRUE(writeSyntheticVideo(directory.file("loop.avi"), directory.file("truth.csv"), spec));
    std::optional<OpenedVideo> avi = openFrameReader(directory.file("loop.avi"));
    ASSERT_TRUE(avi.has_value());
    std::vector<cv::Mat> frames;
    for (cv::Mat frame; avi->reader->read(frame);) {
        frames.push_back(frame.clone());
    }
    ASSERT_TRUE(writeDicom(directory.file("loop.dcm"), frames,
                           with(Encoding::Rle, "RGB", [](gdcm::DataSet& data) {
                               addUltrasoundRegions(data, {{84, 31, 595, 414, 0.051, 0.051}});
                           })));
    const ProgramRun run = replay({"--select", "100,100,21,19", "--truth", "truth.csv", "--report",
                                   "report.json", "--roi", "auto", "loop.dcm"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
    const QJsonObject report = QJsonDocument::fromJson(readBytes("report.json")).object();
    EXPECT_TRUE(report["settings"].toObject()["mm_per_pixel"].isNull());
    EXPECT_FALSE(report.contains("tracking_error_mm"));
    const QJsonArray warnings = report["warnings"].toArray();
    ASSERT_FALSE(warnings.isEmpty());
    const QString warning = warnings.first().toString();
    EXPECT_TRUE(warning.contains("reaches outside the 320 x 240 picture")) << warning.toStdString();
    EXPECT_TRUE(warning.contains("--mm-per-pixel")) << warning.toStdString();
    EXPECT_EQ(run.errors.count(warning.toUtf8()), 1) << run.errors.constData();
}

// Files that cannot be played are refused as a bad AVI is, saying what is wrong.
TEST(DicomLoop, DicomFilesThatCannotBePlayedAreRefusedWithTheReason) {
    TemporaryWorkingDirectory directory;
    const auto loop = [&](const char* name, Encoding encoding) {
        const std::string path = directory.file(name);
        EXPECT_TRUE(writeDicom(path, framesOf(colourFrame), with(encoding, "RGB")));
        return path;
    };
    const std::string cut = loop("cut.dcm", Encoding::ExplicitLittle);
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) * 6 / 10);
    const std::string cutJpeg = loop("cutJpeg.dcm", Encoding::JpegBaseline);
    std::filesystem::resize_file(cutJpeg, std::filesystem::file_size(cutJpeg) * 6 / 10);
    const std::string overcounted = loop("overcounted.dcm", Encoding::ExplicitLittle);
    ASSERT_TRUE(rewriteAttributes(overcounted, [](gdcm::DataSet& data, gdcm::DataSet&) {
        setText(data, 0x0028, 0x0008, "9");
    }));
    const std::string overcountedRle = loop("overcountedRle.dcm", Encoding::Rle);
    ASSERT_TRUE(rewriteAttributes(overcountedRle, [](gdcm::DataSet& data, gdcm::DataSet&) {
        setText(data, 0x0028, 0x0008, "9");
    }));
    // JPEG 2000 Part 2 in place of JPEG baseline, of the same length.
    const std::string unknownSyntax = loop("part2.dcm", Encoding::JpegBaseline);
    QByteArray bytes = readBytes(unknownSyntax);
    bytes.replace("1.2.840.10008.1.2.4.50", "1.2.840.10008.1.2.4.92");
    std::ofstream(unknownSyntax, std::ios::binary | std::ios::trunc)
        .write(bytes.constData(), bytes.size());
    ASSERT_TRUE(
        writeDicomWithoutImage(directory.file("report.dcm"), "1.2.840.10008.5.1.4.1.1.88.33"));
    ASSERT_TRUE(writeDicomWithoutImage(directory.file("DICOMDIR"), "1.2.840.10008.1.3.10"));
    QByteArray garbage(4000, '\x5a');
    garbage.replace(128, 4, "DICM");
    std::ofstream(directory.file("garbage.dcm"), std::ios::binary)
        .write(garbage.constData(), garbage.size());

    const struct {
        std::string file;
        const char* reason;
    } cases[] = {
        {cut, "cut short"},
        {cutJpeg, "cut short"},
        {overcounted, "fewer frames than its Number of Frames (9)"},
        {overcountedRle, "fewer frames than its Number of Frames (9)"},
        {unknownSyntax, "transfer syntax \"JPEG 2000 Part 2 Multi-component"},
        {directory.file("report.dcm"), "holds no image but a Comprehensive SR"},
        {directory.file("DICOMDIR"), "holds no image"},
        {directory.file("garbage.dcm"), "cannot be read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_FALSE(openFrameReader(c.file).has_value());
        const ProgramRun run = replay({"--select", "1,1,4,4", QString::fromStdString(c.file)});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.errors.contains("cannot open the video")) << run.errors.constData();
        EXPECT_TRUE(run.errors.contains(c.reason)) << run.errors.constData();
    }
}

// A damaged frame is skipped as in an AVI: that read fails, the next succeeds.
TEST(DicomLoop, ADamagedFrameFailsAloneAndThePositionMovesPastIt) {
    TemporaryWorkingDirectory directory;
    for (const Encoding encoding :
         {Encoding::JpegBaseline, Encoding::Rle, Encoding::JpegLs, Encoding::Jpeg2000Lossless}) {
        const std::string path = directory.file("damaged.dcm");
        ASSERT_TRUE(writeDicom(path, framesOf(colourFrame), with(encoding, "RGB")));
        // The third fragment after the offset table, overwritten but for its ends.
        QByteArray bytes = readBytes(path);
        const qsizetype pixelData = bytes.lastIndexOf(QByteArray("\xe0\x7f\x10\x00", 4));
        qsizetype at = bytes.indexOf(QByteArray("\xfe\xff\x00\xe0", 4), pixelData);
        ASSERT_GT(pixelData, 0);
        std::uint32_t length = 0;
        for (int item = 0; item <= 3; ++item) {
            ASSERT_LT(at + 8, bytes.size());
            std::memcpy(&length, bytes.constData() + at + 4, 4);
            if (item < 3) {
                at += 8 + length;
            }
        }
        ASSERT_LE(at + 8 + length, bytes.size());
        for (std::uint32_t offset = 8; offset + 4 < length; ++offset) {
            bytes[at + 8 + offset] = static_cast<char>((offset * 97) ^ 0x3c);
        }
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(bytes.constData(), bytes.size());

        std::optional<OpenedVideo> opened = openFrameReader(path);
        ASSERT_TRUE(opened.has_value());
        cv::Mat frame;
        opened->reader->seek(2);
        const bool damagedRead = opened->reader->read(frame);
        EXPECT_EQ(opened->reader->position(), 3);
        ASSERT_TRUE(opened->reader->read(frame));
        EXPECT_LE(difference(frame, colourFrame(3)), 12);
        (void)damagedRead; // some codecs make a picture of damaged data
    }
}
