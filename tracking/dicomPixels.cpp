// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/dicomPixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <opencv2/imgproc.hpp>

namespace {

bool isGrey(const std::string& photometric) {
    return photometric == "MONOCHROME1" || photometric == "MONOCHROME2";
}

bool isYbr(const std::string& photometric) {
    return photometric == "YBR_FULL" || photometric == "YBR_FULL_422";
}

// The stored value of a sample whose allocated bits are `raw`: the bits
// stored, their sign extended where the samples are signed.
double storedValue(std::uint32_t raw, const DicomPixelLayout& layout) {
    const std::uint32_t mask = (1u << layout.bitsStored) - 1u;
    const std::uint32_t bits = raw & mask;
    if (layout.isSigned && (bits & (1u << (layout.bitsStored - 1))) != 0) {
        return static_cast<double>(bits) - static_cast<double>(1u << layout.bitsStored);
    }
    return static_cast<double>(bits);
}

std::uint8_t clampedLevel(double level) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(level), 0L, 255L));
}

// YCbCr (full range, as JPEG has it) to BGR, through OpenCV's Y, Cr, Cb order.
void ybrToBgr(const cv::Mat& ybr, cv::Mat& bgr) {
    cv::Mat planes[3];
    cv::split(ybr, planes);
    std::swap(planes[1], planes[2]);
    cv::Mat ycrcb;
    cv::merge(planes, 3, ycrcb);
    cv::cvtColor(ycrcb, bgr, cv::COLOR_YCrCb2BGR);
}

} // namespace

std::size_t frameBytes(const DicomPixelLayout& layout) {
    if (layout.rows <= 0 || layout.columns <= 0 || layout.samplesPerPixel <= 0) {
        return 0;
    }
    const std::size_t pixels =
        static_cast<std::size_t>(layout.rows) * static_cast<std::size_t>(layout.columns);
    const std::size_t sampleBytes = static_cast<std::size_t>(layout.bitsAllocated / 8);
    if (layout.photometric == "YBR_FULL_422") {
        return pixels * 2 * sampleBytes; // two Y samples share one Cb and one Cr
    }
    return pixels * static_cast<std::size_t>(layout.samplesPerPixel) * sampleBytes;
}

std::string layoutProblem(const DicomPixelLayout& layout) {
    if (layout.bitsAllocated != 8 && layout.bitsAllocated != 16) {
        return "its samples have " + std::to_string(layout.bitsAllocated) +
               " bits allocated, and only 8 and 16 can be shown";
    }
    if (layout.bitsStored < 1 || layout.bitsStored > layout.bitsAllocated) {
        return "its samples store " + std::to_string(layout.bitsStored) + " bits in " +
               std::to_string(layout.bitsAllocated);
    }
    const std::string& photometric = layout.photometric;
    const bool colour = photometric == "RGB" || isYbr(photometric);
    if (!isGrey(photometric) && !colour && photometric != "PALETTE COLOR") {
        return "its photometric interpretation " + photometric + " cannot be shown";
    }
    if (layout.samplesPerPixel != (colour ? 3 : 1)) {
        return photometric + " with " + std::to_string(layout.samplesPerPixel) +
               " samples per pixel";
    }
    if (photometric == "YBR_FULL_422" && (layout.columns % 2 != 0 || layout.bitsAllocated != 8)) {
        return "YBR_FULL_422 needs an even number of columns of 8-bit samples";
    }
    if (photometric == "PALETTE COLOR" && layout.palette.empty()) {
        return "its colour palette is missing or damaged";
    }
    return {};
}

std::vector<std::uint8_t> greyTable(const DicomPixelLayout& layout) {
    const std::size_t values = std::size_t{1} << layout.bitsAllocated;
    std::vector<std::uint8_t> table(values);
    const bool invert = layout.photometric == "MONOCHROME1";
    const bool asStored = layout.bitsAllocated == 8 && layout.bitsStored == 8 && !layout.isSigned;
    // The lowest and highest value the bits can hold, through the rescale.
    const double lowestStored = layout.isSigned ? -std::ldexp(1.0, layout.bitsStored - 1) : 0.0;
    const double highestStored = lowestStored + std::ldexp(1.0, layout.bitsStored) - 1.0;
    double low = lowestStored * layout.rescaleSlope + layout.rescaleIntercept;
    double high = highestStored * layout.rescaleSlope + layout.rescaleIntercept;
    if (layout.smallestValue && layout.largestValue &&
        *layout.smallestValue < *layout.largestValue) {
        low = *layout.smallestValue;
        high = *layout.largestValue;
    }
    if (low > high) {
        std::swap(low, high);
    }
    for (std::size_t raw = 0; raw < values; ++raw) {
        const double value =
            storedValue(static_cast<std::uint32_t>(raw), layout) * layout.rescaleSlope +
            layout.rescaleIntercept;
        double level = 0.0;
        if (asStored) {
            level = static_cast<double>(raw);
        } else if (layout.windowCentre && layout.windowWidth && *layout.windowWidth >= 1.0) {
            // The linear window of PS3.3 C.11.2.1.2.1.
            const double centre = *layout.windowCentre - 0.5;
            const double width = *layout.windowWidth - 1.0;
            level = width <= 0.0 ? (value <= centre ? 0.0 : 255.0)
                                 : ((value - centre) / width + 0.5) * 255.0;
        } else {
            level = high > low ? (value - low) * 255.0 / (high - low) : 0.0;
        }
        table[raw] =
            invert ? static_cast<std::uint8_t>(255 - clampedLevel(level)) : clampedLevel(level);
    }
    return table;
}

DicomPixelConverter::DicomPixelConverter(DicomPixelLayout layout) : pixels(std::move(layout)) {
    if (isGrey(pixels.photometric)) {
        grey = greyTable(pixels);
    } else if (pixels.photometric == "PALETTE COLOR") {
        const std::size_t values = std::size_t{1} << pixels.bitsAllocated;
        colourOf.resize(values);
        const auto last = static_cast<std::int64_t>(pixels.palette.size()) - 1;
        for (std::size_t raw = 0; raw < values; ++raw) {
            // Values below the first entry take the first colour, above the
            // last the last, as PS3.3 C.7.6.3.1.5 says.
            const std::int64_t entry = std::clamp<std::int64_t>(
                static_cast<std::int64_t>(storedValue(static_cast<std::uint32_t>(raw), pixels)) -
                    pixels.paletteFirstIndex,
                0, last);
            colourOf[raw] = pixels.palette[static_cast<std::size_t>(entry)];
        }
    }
}

bool DicomPixelConverter::toBgr(const char* data, std::size_t size, cv::Mat& bgr) const {
    if (size != frameBytes(pixels)) {
        return false;
    }
    const int rows = pixels.rows;
    const int columns = pixels.columns;
    const std::size_t count = static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
    bgr.create(rows, columns, CV_8UC3);
    auto* out = bgr.ptr<cv::Vec3b>();
    const bool wide = pixels.bitsAllocated == 16;
    const auto sampleAt = [data, wide](std::size_t index) -> std::uint32_t {
        if (!wide) {
            return static_cast<std::uint8_t>(data[index]);
        }
        std::uint16_t value = 0;
        std::memcpy(&value, data + index * 2, 2);
        return value;
    };
    if (!grey.empty() || !colourOf.empty()) {
        for (std::size_t pixel = 0; pixel < count; ++pixel) {
            const std::uint32_t raw = sampleAt(pixel);
            if (!grey.empty()) {
                const std::uint8_t level = grey[raw];
                out[pixel] = cv::Vec3b(level, level, level);
            } else {
                out[pixel] = colourOf[raw];
            }
        }
        return true;
    }
    // Colour: 8-bit samples in R G B (or Y Cb Cr) order per pixel.
    const bool interleavedBytes = !wide && pixels.planarConfiguration == 0 &&
                                  pixels.photometric != "YBR_FULL_422" && pixels.bitsStored == 8;
    if (interleavedBytes) {
        const cv::Mat stored(rows, columns, CV_8UC3, const_cast<char*>(data));
        if (pixels.photometric == "RGB") {
            cv::cvtColor(stored, bgr, cv::COLOR_RGB2BGR);
        } else {
            ybrToBgr(stored, bgr);
        }
        return true;
    }
    cv::Mat samples(rows, columns, CV_8UC3);
    auto* interleaved = samples.ptr<cv::Vec3b>();
    const int shift = pixels.bitsStored > 8 ? pixels.bitsStored - 8 : 0;
    const auto eight = [&](std::size_t index) {
        return static_cast<std::uint8_t>(std::min<std::uint32_t>(
            255, (sampleAt(index) & ((1u << pixels.bitsStored) - 1u)) >> shift));
    };
    if (pixels.photometric == "YBR_FULL_422") {
        for (std::size_t pair = 0; pair < count / 2; ++pair) {
            const std::uint8_t cb = eight(pair * 4 + 2);
            const std::uint8_t cr = eight(pair * 4 + 3);
            interleaved[pair * 2] = cv::Vec3b(eight(pair * 4), cb, cr);
            interleaved[pair * 2 + 1] = cv::Vec3b(eight(pair * 4 + 1), cb, cr);
        }
    } else {
        const bool planar = pixels.planarConfiguration == 1;
        for (std::size_t pixel = 0; pixel < count; ++pixel) {
            for (std::size_t channel = 0; channel < 3; ++channel) {
                interleaved[pixel][static_cast<int>(channel)] =
                    eight(planar ? channel * count + pixel : pixel * 3 + channel);
            }
        }
    }
    if (isYbr(pixels.photometric)) {
        ybrToBgr(samples, bgr);
    } else {
        cv::cvtColor(samples, bgr, cv::COLOR_RGB2BGR);
    }
    return true;
}
