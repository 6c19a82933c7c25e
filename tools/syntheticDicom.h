// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <functional>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <vector>

namespace gdcm {
class DataSet;
}

// DICOM cine loops written through GDCM, for the tests and the benchmark: the
// same frames in any of the encodings that scanners write.
namespace syntheticdicom {

enum class Encoding {
    ImplicitLittle,
    ExplicitLittle,
    Deflated,
    Rle,
    JpegBaseline, // lossy, colour frames stored as YBR_FULL_422
    JpegLossless,
    JpegLs,
    Jpeg2000Lossless,
};

struct DicomSpec {
    // Ultrasound Multi-frame Image Storage unless said otherwise.
    std::string sopClassUid = "1.2.840.10008.5.1.4.1.1.3.1";
    // MONOCHROME2, MONOCHROME1, RGB, YBR_FULL or PALETTE COLOR. The frames are
    // the stored values: CV_8UC1 or CV_16UC1 for grey and palette indices,
    // CV_8UC3 (BGR) for colour; YBR_FULL frames are converted from BGR.
    std::string photometric = "MONOCHROME2";
    int bitsStored = 0; // 0: all the bits allocated
    Encoding encoding = Encoding::ExplicitLittle;
    // Attributes added to the data set (timing, calibration, window).
    std::function<void(gdcm::DataSet&)> addAttributes;
    // For PALETTE COLOR: 256 entries of 16 bits each, red, green and blue.
    std::vector<cv::Vec3w> palette;
};

// Writes `frames` (all of one size and type) as one DICOM file. False if GDCM
// cannot write it in that encoding.
bool writeDicom(const std::filesystem::path& path, const std::vector<cv::Mat>& frames,
                const DicomSpec& spec);

// Reads the DICOM file at `path`, lets `change` alter its data set and its
// file meta information (a damaged count, another transfer syntax), and writes
// it back as it is, without re-encoding the pixel data.
bool rewriteAttributes(const std::filesystem::path& path,
                       const std::function<void(gdcm::DataSet& data, gdcm::DataSet& meta)>& change);

// Writes a DICOM file of the SOP class `sopClassUid` that holds no image (a
// structured report, a DICOMDIR).
bool writeDicomWithoutImage(const std::filesystem::path& path, const std::string& sopClassUid);

// Sets a text attribute (DS, IS, UI, CS, ...) of `dataSet`, values joined by '\'.
void setText(gdcm::DataSet& dataSet, unsigned short group, unsigned short element,
             const std::string& value);
// Adds a Sequence of Ultrasound Regions with one region per entry of `regions`:
// x0, y0, x1, y1 of the region, then its physical delta x and y in cm per pixel.
struct UltrasoundRegion {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double deltaXcm = 0.0, deltaYcm = 0.0;
    unsigned short unitsX = 3, unitsY = 3; // 3: cm
};
void addUltrasoundRegions(gdcm::DataSet& dataSet, const std::vector<UltrasoundRegion>& regions);

} // namespace syntheticdicom
