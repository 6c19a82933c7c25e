// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed corpus of the DICOM fuzzer: small loops in every encoding
// and kind of pixels the reader takes, with the attributes it reads (timing,
// ultrasound regions, a window), through the project's own DICOM writer.
#include "tools/syntheticDicom.h"

#include <cstdio>
#include <filesystem>
#include <gdcmDataSet.h>
#include <opencv2/imgproc.hpp>
#include <string>

using namespace syntheticdicom;

namespace {

std::vector<cv::Mat> frames(int type) {
    std::vector<cv::Mat> made;
    for (int index = 0; index < 3; ++index) {
        cv::Mat frame(16, 16, type);
        cv::randu(frame, 0, type == CV_16UC1 ? 4096 : 256);
        made.push_back(frame);
    }
    return made;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::fprintf(stderr,
                     "Usage: %s DIRECTORY\nWrites small DICOM loops into DIRECTORY, the "
                     "seeds of the DICOM fuzzer.\n",
                     argv[0]);
        return argc == 2 ? 0 : 2;
    }
    const std::filesystem::path directory = argv[1];
    std::filesystem::create_directories(directory);
    const struct {
        const char* name;
        Encoding encoding;
    } encodings[] = {
        {"implicit", Encoding::ImplicitLittle}, {"explicit", Encoding::ExplicitLittle},
        {"deflated", Encoding::Deflated},       {"rle", Encoding::Rle},
        {"jpeg", Encoding::JpegBaseline},       {"jpegLossless", Encoding::JpegLossless},
        {"jpegLs", Encoding::JpegLs},           {"jpeg2000", Encoding::Jpeg2000Lossless},
    };
    const struct {
        const char* name;
        const char* photometric;
        int type;
    } kinds[] = {
        {"grey", "MONOCHROME2", CV_8UC1},
        {"wide", "MONOCHROME1", CV_16UC1},
        {"rgb", "RGB", CV_8UC3},
        {"ybr", "YBR_FULL", CV_8UC3},
        {"palette", "PALETTE COLOR", CV_8UC1},
    };
    int written = 0;
    for (const auto& encoding : encodings) {
        for (const auto& kind : kinds) {
            // GDCM's baseline JPEG takes no 16-bit samples (and asserts on them).
            if (encoding.encoding == Encoding::JpegBaseline && kind.type == CV_16UC1) {
                continue;
            }
            DicomSpec spec;
            spec.encoding = encoding.encoding;
            spec.photometric = kind.photometric;
            if (kind.type == CV_16UC1) {
                spec.bitsStored = 12;
            }
            for (int entry = 0; entry < 256; ++entry) {
                const auto level = static_cast<ushort>(entry * 257);
                spec.palette.emplace_back(level, static_cast<ushort>(65535 - level), level);
            }
            spec.addAttributes = [](gdcm::DataSet& data) {
                setText(data, 0x0018, 0x1063, "40");
                setText(data, 0x0028, 0x1050, "2048");
                setText(data, 0x0028, 0x1051, "4096");
                addUltrasoundRegions(data, {{0, 0, 15, 15, 0.02, 0.02}});
            };
            const std::filesystem::path path =
                directory / (std::string(encoding.name) + "-" + kind.name + ".dcm");
            // Not every codec takes every kind of pixels.
            if (writeDicom(path, frames(kind.type), spec)) {
                ++written;
            }
        }
    }
    std::fprintf(stderr, "%d seed files in %s\n", written, directory.c_str());
    return written > 0 ? 0 : 1;
}
