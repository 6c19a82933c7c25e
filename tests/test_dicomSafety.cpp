// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile and damaged DICOM files: each is refused with its reason before
// GDCM can abort or overrun on it, or opens cleanly and gives its frames.
#include "rawDicom.h"
#include "testSupport.h"
#include "tools/syntheticDicom.h"
#include "tracking/dicomPreflight.h"
#include "tracking/dicomReader.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gdcmAttribute.h>
#include <gdcmDataSet.h>
#include <gtest/gtest.h>

using namespace syntheticdicom;

namespace {

const cv::Size frameSize(48, 32);

std::vector<cv::Mat> frames(int type, int count = 4) {
    std::vector<cv::Mat> made;
    for (int index = 0; index < count; ++index) {
        cv::Mat frame(frameSize, type);
        for (int y = 0; y < frame.rows; ++y) {
            for (int x = 0; x < frame.cols * frame.channels(); ++x) {
                const int level = (x * 5 + y * 3 + index * 20) % 256;
                if (type == CV_16UC1) {
                    frame.at<ushort>(y, x) = static_cast<ushort>(level * 16);
                } else {
                    frame.ptr<uchar>(y)[x] = static_cast<uchar>(level);
                }
            }
        }
        made.push_back(frame);
    }
    return made;
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

using Change = std::function<void(gdcm::DataSet&)>;

// A loop written by the project's writer, then changed as it is.
std::function<void(const std::string&)> written(Encoding encoding, const char* photometric,
                                                int type, Change change = {}, int count = 4) {
    return [=](const std::string& path) {
        DicomSpec spec;
        spec.encoding = encoding;
        spec.photometric = photometric;
        if (std::string(photometric) == "PALETTE COLOR") {
            for (int entry = 0; entry < 256; ++entry) {
                spec.palette.emplace_back(static_cast<ushort>(entry * 257), 0, 0);
            }
        }
        ASSERT_TRUE(writeDicom(path, frames(type, count), spec));
        if (change) {
            ASSERT_TRUE(rewriteAttributes(
                path, [&](gdcm::DataSet& data, gdcm::DataSet&) { change(data); }));
        }
    };
}

Change texts(std::vector<std::pair<std::uint32_t, std::string>> values) {
    return [values](gdcm::DataSet& data) {
        for (const auto& [tag, value] : values) {
            setText(data, static_cast<unsigned short>(tag >> 16),
                    static_cast<unsigned short>(tag & 0xffff), value);
        }
    };
}

// The palette's red descriptor given as decimal text, as a damaged file can.
Change redDescriptor(const std::string& values) {
    return [values](gdcm::DataSet& data) {
        gdcm::DataElement descriptor(gdcm::Tag(0x0028, 0x1101));
        descriptor.SetVR(gdcm::VR::DS);
        std::string padded = values.size() % 2 ? values + ' ' : values;
        descriptor.SetByteValue(padded.data(), static_cast<std::uint32_t>(padded.size()));
        data.Replace(descriptor);
    };
}

// Overwrites bytes of the first fragment (after the offset table) at `offset`.
std::function<void(const std::string&)>
patchedFirstFragment(std::function<void(const std::string&)> make, std::size_t offset,
                     std::string bytes) {
    return [=](const std::string& path) {
        make(path);
        QByteArray file = readBytes(path);
        const qsizetype pixelData = file.lastIndexOf(QByteArray("\xe0\x7f\x10\x00", 4));
        ASSERT_GT(pixelData, 0);
        qsizetype at = pixelData + 12; // the offset table's item
        std::uint32_t length = 0;
        std::memcpy(&length, file.constData() + at + 4, 4);
        at += 8 + length + 8; // the first fragment's value
        file.replace(at + static_cast<qsizetype>(offset), static_cast<qsizetype>(bytes.size()),
                     QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
        writeBytes(path, file.toStdString());
    };
}

std::function<void(const std::string&)> cut(std::function<void(const std::string&)> make,
                                            double fraction) {
    return [=](const std::string& path) {
        make(path);
        std::filesystem::resize_file(
            path, static_cast<std::uintmax_t>(std::filesystem::file_size(path) * fraction));
    };
}

std::function<void(const std::string&)> raw(std::string bytes) {
    return [bytes](const std::string& path) { writeBytes(path, bytes); };
}

std::string deeplyNested(int depth) {
    std::string nested = rawdicom::greyImage(2, 2, 1);
    for (int level = 0; level < depth; ++level) {
        nested += rawdicom::header(0x0008, 0x1140, "SQ", rawdicom::undefinedLength) +
                  rawdicom::item(rawdicom::undefinedLength);
    }
    return nested;
}

// A deflated data set whose pixel data say 20 MiB where the one frame needs 256 bytes.
std::string deflatedBomb() {
    const std::uint32_t length = 20u << 20;
    return rawdicom::file(rawdicom::deflated,
                          rawdicom::deflate(rawdicom::greyImage(16, 16, 1) +
                                            rawdicom::header(0x7fe0, 0x0010, "OB", length) +
                                            std::string(length, '\0')));
}

// Opens the file as the programs do; its refusal, or empty after every frame
// was read.
std::string refusalOrFrames(const std::string& path, int& framesRead) {
    DicomReader reader;
    if (const Refusable<> opened = reader.openLoop(path); !opened) {
        return opened.refusal().message.toStdString();
    }
    framesRead = 0;
    cv::Mat frame;
    for (std::int64_t index = 0; index < reader.frameCount(); ++index) {
        framesRead += reader.read(frame) && frame.size() == reader.frameSize() ? 1 : 0;
    }
    return {};
}

bool printable(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

} // namespace

TEST(DicomSafety, EveryHostileFileIsRefusedWithItsReasonOrOpensCleanly) {
    using rawdicom::element;
    const struct {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* refusal; // empty: opens, with `frames` frames
        int frames;
    } cases[] = {
        {"a 4 GiB private element in a small file",
         raw(rawdicom::file(rawdicom::explicitLittle,
                            rawdicom::greyImage(2, 2, 1) +
                                rawdicom::header(0x0009, 0x1001, "OB", 0xfffffff0u) + "xx")),
         "cut short inside its element (0009,1001)", 0},
        {"100,000 nested sequences",
         raw(rawdicom::file(rawdicom::explicitLittle, deeplyNested(100'000))),
         "nested more than 32 deep", 0},
        {"an unknown value representation",
         raw(rawdicom::file(rawdicom::explicitLittle,
                            rawdicom::greyImage(2, 2, 1) + element(0x0009, 0x1001, "ZZ", "ab"))),
         "value representation that DICOM does not know (\"ZZ\")", 0},
        {"an undefined length on text",
         raw(rawdicom::file(rawdicom::explicitLittle,
                            rawdicom::greyImage(2, 2, 1) +
                                rawdicom::header(0x0009, 0x1001, "UT", rawdicom::undefinedLength))),
         "undefined length", 0},
        {"big endian",
         raw(rawdicom::file("1.2.840.10008.1.2.2", rawdicom::greyImage(2, 2, 1))),
         "\"Explicit VR Big Endian\"", 0},
        {"crafted, well formed",
         raw(rawdicom::file(rawdicom::explicitLittle, rawdicom::greyImage(2, 3, 2) +
                                                          element(0x7fe0, 0x0010, "OB",
                                                                  std::string(12, '\x40')))),
         "", 2},
        {"Planar Configuration 2",
         written(Encoding::ExplicitLittle, "RGB", CV_8UC3,
                 [](gdcm::DataSet& data) {
                     data.Replace(gdcm::Attribute<0x0028, 0x0006>{2}.GetAsDataElement());
                 }),
         "Planar Configuration is 2", 0},
        {"JPEG 2000 of 1 component where the attributes say 3",
         written(Encoding::Jpeg2000Lossless, "MONOCHROME2", CV_8UC1,
                 [](gdcm::DataSet& data) {
                     data.Replace(gdcm::Attribute<0x0028, 0x0002>{3}.GetAsDataElement());
                     setText(data, 0x0028, 0x0004, "RGB");
                 }),
         "JPEG 2000 frame is 48 x 32 pixels of 1 samples, where its attributes say 48 x 32 of 3",
         0},
        {"JPEG 2000 larger than Rows x Columns",
         written(Encoding::Jpeg2000Lossless, "MONOCHROME2", CV_8UC1,
                 [](gdcm::DataSet& data) {
                     data.Replace(gdcm::Attribute<0x0028, 0x0010>{16}.GetAsDataElement());
                 }),
         "JPEG 2000 frame is 48 x 32 pixels of 1 samples, where its attributes say 48 x 16", 0},
        {"JPEG frame header of another width",
         written(Encoding::JpegBaseline, "MONOCHROME2", CV_8UC1,
                 [](gdcm::DataSet& data) {
                     data.Replace(gdcm::Attribute<0x0028, 0x0011>{40}.GetAsDataElement());
                 }),
         "JPEG frame is 48 x 32 pixels of 1 samples, where its attributes say 40 x 32", 0},
        {"RLE header without segments",
         patchedFirstFragment(written(Encoding::Rle, "RGB", CV_8UC3), 0, rawdicom::little32(0)),
         "RLE frame has 0 segments, where its attributes call for 3", 0},
        {"RLE segment past the fragment",
         patchedFirstFragment(written(Encoding::Rle, "RGB", CV_8UC3), 8,
                              rawdicom::little32(1u << 30)),
         "RLE frame's segment offsets are damaged", 0},
        {"palette descriptor 1e300", written(Encoding::ExplicitLittle, "PALETTE COLOR", CV_8UC1,
                                             redDescriptor("1e300\\0\\16")),
         "colour palette is missing or damaged", 0},
        {"palette descriptor negative", written(Encoding::ExplicitLittle, "PALETTE COLOR", CV_8UC1,
                                                redDescriptor("-7\\0\\16")),
         "colour palette is missing or damaged", 0},
        {"palette entries of 40 bits", written(Encoding::ExplicitLittle, "PALETTE COLOR", CV_8UC1,
                                               redDescriptor("256\\0\\40")),
         "colour palette is missing or damaged", 0},
        {"Number of Frames 1e300",
         written(Encoding::ExplicitLittle, "MONOCHROME2", CV_8UC1, texts({{0x00280008, "1e300"}})),
         "its Number of Frames is 1e+300", 0},
        {"Number of Frames NaN",
         written(Encoding::ExplicitLittle, "MONOCHROME2", CV_8UC1, texts({{0x00280008, "NaN"}})),
         "its Number of Frames is \"NaN\"", 0},
        {"escape sequences in the Photometric Interpretation",
         written(Encoding::ExplicitLittle, "MONOCHROME2", CV_8UC1,
                 texts({{0x00280004, "MONO\x1b]2;owned\x07\x1b[2J"}})),
         "photometric interpretation MONO\\x1b]2;owned\\x07\\x1b[2J cannot be shown", 0},
        {"deflated, one small frame",
         [](const std::string& path) {
             DicomSpec spec;
             spec.encoding = Encoding::Deflated;
             ASSERT_TRUE(writeDicom(path, {cv::Mat(2, 2, CV_8UC1, cv::Scalar(9))}, spec));
         },
         "", 1},
        {"deflated, 8-bit pixel data shorter than their frames",
         written(Encoding::Deflated, "MONOCHROME2", CV_8UC1, texts({{0x00280008, "10"}})),
         "fewer frames than its Number of Frames (10)", 0},
        {"deflated, 16-bit pixel data shorter than their frames",
         written(Encoding::Deflated, "MONOCHROME2", CV_16UC1, texts({{0x00280008, "10"}})),
         "fewer frames than its Number of Frames (10)", 0},
        {"deflated, cut short", cut(written(Encoding::Deflated, "RGB", CV_8UC3), 0.7),
         "cut short", 0},
        {"deflated stream damaged",
         raw(rawdicom::file(rawdicom::deflated, std::string(64, '\xff'))),
         "deflated data set is damaged", 0},
        {"deflated, pixel data 20 MiB for a frame of 256 bytes", raw(deflatedBomb()), "", 1},
        {"deflated with a zlib header",
         raw(rawdicom::file(rawdicom::deflated,
                            rawdicom::deflate(rawdicom::greyImage(2, 2, 3) +
                                                  element(0x7fe0, 0x0010, "OB", std::string(12, 'z')),
                                              true))),
         "", 3},
    };
    TemporaryWorkingDirectory directory;
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string path = directory.file("hostile.dcm");
        row.make(path);
        int framesRead = -1;
        const std::string refusal = refusalOrFrames(path, framesRead);
        if (*row.refusal == '\0') {
            EXPECT_EQ(refusal, "");
            EXPECT_EQ(framesRead, row.frames);
        } else {
            EXPECT_NE(refusal.find(row.refusal), std::string::npos) << refusal;
            EXPECT_TRUE(printable(refusal)) << refusal;
        }
    }
}

// A file cut short anywhere (in its meta information, an attribute, the pixel
// data's header, a fragment) is refused with a reason, or opens cleanly.
TEST(DicomSafety, AFileCutShortAnywhereIsRefusedOrOpens) {
    TemporaryWorkingDirectory directory;
    const auto withRegions = [](gdcm::DataSet& data) {
        addUltrasoundRegions(data, {{0, 0, 47, 31, 0.02, 0.02}});
        setText(data, 0x0018, 0x1063, "40");
    };
    const struct {
        const char* name;
        std::function<void(const std::string&)> make;
    } files[] = {
        {"explicit, with a sequence",
         written(Encoding::ExplicitLittle, "MONOCHROME2", CV_8UC1, withRegions, 2)},
        {"implicit, with a sequence",
         written(Encoding::ImplicitLittle, "MONOCHROME2", CV_8UC1, withRegions, 2)},
        {"deflated", written(Encoding::Deflated, "RGB", CV_8UC3, withRegions, 2)},
        {"RLE", written(Encoding::Rle, "MONOCHROME2", CV_16UC1, {}, 2)},
        {"JPEG", written(Encoding::JpegBaseline, "RGB", CV_8UC3, {}, 2)},
        {"JPEG 2000", written(Encoding::Jpeg2000Lossless, "MONOCHROME2", CV_8UC1, {}, 2)},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        const std::string whole = directory.file("whole.dcm");
        file.make(whole);
        const std::string bytes = readBytes(whole).toStdString();
        const std::string path = directory.file("cut.dcm");
        // Every length through the attributes, then every 11th.
        for (std::size_t length = 0; length < bytes.size(); length += length < 1000 ? 1 : 11) {
            writeBytes(path, bytes.substr(0, length));
            int framesRead = -1;
            const std::string refusal = refusalOrFrames(path, framesRead);
            ASSERT_TRUE(printable(refusal)) << length << ": " << refusal;
            if (refusal.empty()) {
                EXPECT_GT(framesRead, 0) << length;
            }
        }
    }
}

// The memory any part of a file may take stays within the limits given.
TEST(DicomSafety, ThePreflightKeepsWithinItsLimits) {
    TemporaryWorkingDirectory directory;
    const std::string path = directory.file("limits.dcm");
    const std::string image = rawdicom::greyImage(2, 2, 1);
    const std::string pixels = rawdicom::element(0x7fe0, 0x0010, "OB", std::string(4, 'p'));
    const struct {
        const char* name;
        std::string bytes;
        DicomLimits limits;
        const char* refusal;
    } cases[] = {
        {"one large attribute",
         rawdicom::file(rawdicom::explicitLittle,
                        image + rawdicom::element(0x0009, 0x1001, "OB", std::string(2000, 'a')) +
                            pixels),
         DicomLimits{32, 1000, 1 << 20, 1000, 1000},
         "asks for 2000 bytes, more than the 1000 bytes"},
        {"attributes that add up",
         rawdicom::file(rawdicom::explicitLittle,
                        image + rawdicom::element(0x0009, 0x1001, "OB", std::string(900, 'a')) +
                            rawdicom::element(0x0009, 0x1002, "OB", std::string(900, 'a')) +
                            pixels),
         DicomLimits{32, 1000, 1500, 1000, 1000}, "its attributes take more than"},
        {"many elements", rawdicom::file(rawdicom::explicitLittle, image + pixels),
         DicomLimits{32, 1000, 1 << 20, 5, 1000}, "more than 5 attributes and items"},
        {"deflated attributes that add up",
         rawdicom::file(
             rawdicom::deflated,
             rawdicom::deflate(image +
                               rawdicom::element(0x0009, 0x1001, "OB", std::string(100'000, 'a')) +
                               pixels)),
         DicomLimits{32, 1 << 20, 50'000, 1000, 1000}, "its attributes take more than"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        writeBytes(path, row.bytes);
        DicomPreflight preflight;
        const std::optional<std::string> refusal = preflight.examine(path, row.limits);
        ASSERT_TRUE(refusal.has_value());
        EXPECT_NE(refusal->find(row.refusal), std::string::npos) << *refusal;
    }

    // A deflated file is inflated only as far as its frames need: not the
    // 20 MiB its pixel data say they hold.
    writeBytes(path, deflatedBomb());
    DicomPreflight preflight;
    ASSERT_FALSE(preflight.examine(path).has_value());
    ASSERT_TRUE(preflight.pixelData().has_value());
    EXPECT_EQ(preflight.inflatePixelData(256), 256u);
    const std::vector<char> inflated = preflight.takeInflatedBytes();
    EXPECT_LT(inflated.capacity(), std::size_t{1} << 20);
}

// Every input the fuzzer found a crash with, kept: refused or opened, never a crash.
TEST(DicomSafety, TheFuzzersFindingsAreRefusedOrOpen) {
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TESSAVOLANT_FUZZ_REGRESSIONS)) {
        SCOPED_TRACE(entry.path().filename().string());
        int framesRead = -1;
        const std::string refusal = refusalOrFrames(entry.path().string(), framesRead);
        EXPECT_TRUE(printable(refusal)) << refusal;
        ++files;
    }
    EXPECT_GT(files, 0u);
}
