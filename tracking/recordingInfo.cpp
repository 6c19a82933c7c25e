// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/recordingInfo.h"

#include "tracking/dicomAttributes.h"
#include "tracking/dicomPreflight.h"
#include "tracking/dicomReader.h"
#include "tracking/frameReader.h"
#include "tracking/imageSequence.h"

#include <cmath>
#include <gdcmReader.h>
#include <gdcmSequenceOfItems.h>
#include <gdcmTrace.h>

std::optional<double> frameTimeFromRate(double framesPerSecond) {
    if (!std::isfinite(framesPerSecond) || framesPerSecond <= 0.0 || framesPerSecond > 1000.0) {
        return std::nullopt;
    }
    return 1000.0 / framesPerSecond;
}

namespace {

// A frame time that a recording can have: more than 0 and at most 10 s.
bool plausibleFrameTime(double ms) {
    return std::isfinite(ms) && ms > 0.0 && ms <= 10000.0;
}

// A pixel that an image can have: larger than 1 µm and at most 10 cm.
bool plausibleSpacing(double mm) {
    return std::isfinite(mm) && mm > 0.001 && mm <= 100.0;
}

QString number(double value) {
    return QString::number(value, 'g', 6);
}

void readFrameTime(const gdcm::DataSet& data, RecordingInfo& info) {
    if (const std::optional<double> frameTime = numberOf(data, gdcm::Tag(0x0018, 0x1063))) {
        if (plausibleFrameTime(*frameTime)) {
            info.frameTimeMs = *frameTime;
            return;
        }
        info.warnings << QStringLiteral("The Frame Time of %1 ms cannot be right and was ignored.")
                             .arg(number(*frameTime));
    }
    const std::vector<double> vector = numbersOf(data, gdcm::Tag(0x0018, 0x1065));
    if (!vector.empty()) {
        // Element 0 is the time before the first frame, 0 by definition.
        bool usable = vector.size() >= 2;
        double sum = 0.0;
        for (std::size_t index = 1; index < vector.size() && usable; ++index) {
            usable = plausibleFrameTime(vector[index]);
            sum += vector[index];
        }
        if (usable) {
            info.frameTimesMs = vector;
            info.frameTimesMs.front() = 0.0;
            info.frameTimeMs = sum / static_cast<double>(vector.size() - 1);
            return;
        }
        info.warnings << QStringLiteral("The Frame Time Vector holds a time that cannot be right "
                                        "and was ignored.");
    }
    const std::pair<std::uint16_t, std::uint16_t> rates[] = {{0x0018, 0x0040}, {0x0008, 0x2144}};
    const char* rateNames[] = {"Cine Rate", "Recommended Display Frame Rate"};
    for (int which = 0; which < 2; ++which) {
        const auto [group, element] = rates[which];
        if (const std::optional<double> rate = numberOf(data, gdcm::Tag(group, element))) {
            if (const std::optional<double> frameTime = frameTimeFromRate(*rate)) {
                info.frameTimeMs = frameTime;
                return;
            }
            info.warnings << QStringLiteral("The %1 of %2 frames a second cannot be right and was "
                                            "ignored.")
                                 .arg(QLatin1String(rateNames[which]), number(*rate));
        }
    }
}

bool setSpacing(RecordingInfo& info, double x, double y, const QString& source) {
    if (!plausibleSpacing(x) || !plausibleSpacing(y)) {
        info.warnings << QStringLiteral("The %1 of %2 x %3 mm cannot be right and was ignored.")
                             .arg(source, number(x), number(y));
        return false;
    }
    info.mmPerPixel = MmPerPixel{x, y};
    info.calibrationSource = source;
    return true;
}

const QString useOption = QStringLiteral("no millimetre figure is given; --mm-per-pixel gives one");

// Two spacings of one file agree within the rounding of their decimal text.
bool agree(double a, double b) {
    return std::abs(a - b) <= 0.02 * std::max(a, b);
}

enum class Regions { None, Used, Refused };

// The ultrasound regions measured in centimetres both ways; of those, the one
// that holds the middle of the picture (where the organ is imaged, not the
// Doppler strip or the scale beside it), else the largest. A region that
// reaches outside the picture was written for another picture (one scaled or
// cut afterwards): then none of the file's pixel sizes describes this one.
Regions readUltrasoundRegions(const gdcm::DataSet& data, RecordingInfo& info) {
    const gdcm::Tag regionsTag(0x0018, 0x6011);
    if (!data.FindDataElement(regionsTag)) {
        return Regions::None;
    }
    const gdcm::SmartPointer<gdcm::SequenceOfItems> regions =
        data.GetDataElement(regionsTag).GetValueAsSQ();
    if (!regions) {
        return Regions::None;
    }
    const double columns = numberOf(data, gdcm::Tag(0x0028, 0x0011)).value_or(0.0);
    const double rows = numberOf(data, gdcm::Tag(0x0028, 0x0010)).value_or(0.0);
    const double middleX = columns / 2.0;
    const double middleY = rows / 2.0;
    std::optional<MmPerPixel> chosen;
    bool chosenHoldsMiddle = false;
    double chosenArea = -1.0;
    for (gdcm::SequenceOfItems::SizeType index = 1; index <= regions->GetNumberOfItems(); ++index) {
        const gdcm::DataSet& region = regions->GetItem(index).GetNestedDataSet();
        const auto value = [&region](std::uint16_t element) {
            return numberOf(region, gdcm::Tag(0x0018, element));
        };
        const std::optional<double> unitsX = value(0x6024);
        const std::optional<double> unitsY = value(0x6026);
        const std::optional<double> deltaX = value(0x602c);
        const std::optional<double> deltaY = value(0x602e);
        const double x0 = value(0x6018).value_or(0.0);
        const double y0 = value(0x601a).value_or(0.0);
        const double x1 = value(0x601c).value_or(0.0);
        const double y1 = value(0x601e).value_or(0.0);
        if (columns > 0 && rows > 0 && (x0 < 0 || y0 < 0 || x1 > columns - 1 || y1 > rows - 1)) {
            info.warnings << QStringLiteral("The Sequence of Ultrasound Regions describes a region "
                                            "(x %1..%2, y %3..%4) that reaches outside the %5 x "
                                            "%6 picture: it was written for another picture, so "
                                            "the recording's pixel size cannot be right and is "
                                            "not used; %7.")
                                 .arg(number(x0), number(x1), number(y0), number(y1),
                                      number(columns), number(rows), useOption);
            return Regions::Refused;
        }
        constexpr double centimetres = 3.0;
        if (unitsX != centimetres || unitsY != centimetres || !deltaX || !deltaY) {
            continue;
        }
        const bool holdsMiddle = x0 <= middleX && middleX <= x1 && y0 <= middleY && middleY <= y1;
        const double area = (x1 - x0 + 1.0) * (y1 - y0 + 1.0);
        if ((holdsMiddle && !chosenHoldsMiddle) ||
            (holdsMiddle == chosenHoldsMiddle && area > chosenArea)) {
            chosen = MmPerPixel{std::abs(*deltaX) * 10.0, std::abs(*deltaY) * 10.0};
            chosenHoldsMiddle = holdsMiddle;
            chosenArea = area;
        }
    }
    return chosen && setSpacing(info, chosen->x, chosen->y, QStringLiteral("ultrasound region"))
               ? Regions::Used
               : Regions::None;
}

// The pixel size found is dropped where the file's Pixel Spacing or Pixel
// Aspect Ratio says otherwise: one of them is wrong, and which cannot be told.
void dropContradictedSpacing(const gdcm::DataSet& data, RecordingInfo& info) {
    const MmPerPixel& found = *info.mmPerPixel;
    QString other;
    const std::vector<double> pixelSpacing = numbersOf(data, gdcm::Tag(0x0028, 0x0030));
    if (pixelSpacing.size() == 2 && plausibleSpacing(pixelSpacing[0]) &&
        plausibleSpacing(pixelSpacing[1]) &&
        (!agree(pixelSpacing[1], found.x) || !agree(pixelSpacing[0], found.y))) {
        other = QStringLiteral("its Pixel Spacing of %1 x %2 mm")
                    .arg(number(pixelSpacing[1]), number(pixelSpacing[0]));
    }
    // Down, then across.
    const std::vector<double> aspect = numbersOf(data, gdcm::Tag(0x0028, 0x0034));
    if (other.isEmpty() && aspect.size() == 2 && aspect[0] > 0 && aspect[1] > 0 &&
        !agree(aspect[0] / aspect[1], found.y / found.x)) {
        other = QStringLiteral("its Pixel Aspect Ratio of %1:%2 (down:across)")
                    .arg(number(aspect[0]), number(aspect[1]));
    }
    if (other.isEmpty()) {
        return;
    }
    info.warnings << QStringLiteral("The %1 of %2 x %3 mm per pixel contradicts %4: the "
                                    "recording's pixel size cannot be right and is not used; %5.")
                         .arg(info.calibrationSource, number(found.x), number(found.y), other,
                              useOption);
    info.mmPerPixel.reset();
    info.calibrationSource.clear();
}

void readSpacing(const gdcm::DataSet& data, RecordingInfo& info) {
    switch (readUltrasoundRegions(data, info)) {
    case Regions::Refused:
        return;
    case Regions::Used:
        dropContradictedSpacing(data, info);
        return;
    case Regions::None:
        break;
    }
    // Row spacing first, that is the size down, then across.
    const std::vector<double> pixelSpacing = numbersOf(data, gdcm::Tag(0x0028, 0x0030));
    if (pixelSpacing.size() == 2 &&
        setSpacing(info, pixelSpacing[1], pixelSpacing[0], QStringLiteral("Pixel Spacing"))) {
        dropContradictedSpacing(data, info);
        return;
    }
    const std::vector<double> imager = numbersOf(data, gdcm::Tag(0x0018, 0x1164));
    if (imager.size() == 2) {
        // At the detector; the patient is nearer the source by the magnification.
        const double magnification = numberOf(data, gdcm::Tag(0x0018, 0x1114)).value_or(1.0);
        if (!(magnification >= 1.0 && magnification <= 10.0)) {
            info.warnings << QStringLiteral("The Estimated Radiographic Magnification Factor of %1 "
                                            "cannot be right and was ignored.")
                                 .arg(number(magnification));
            setSpacing(info, imager[1], imager[0], QStringLiteral("Imager Pixel Spacing"));
            return;
        }
        setSpacing(info, imager[1] / magnification, imager[0] / magnification,
                   magnification == 1.0 ? QStringLiteral("Imager Pixel Spacing")
                                        : QStringLiteral("Imager Pixel Spacing and magnification"));
    }
}

RecordingInfo dicomRecordingInfo(const std::string& fileName) {
    RecordingInfo info;
    info.isDicom = true;
    gdcm::Trace::SetWarning(false);
    // Only what the pre-flight walked reaches GDCM.
    DicomPreflight preflight;
    gdcm::Reader reader;
    if (preflight.examine(fileName) || !preflight.parseAttributes(reader)) {
        return info;
    }
    try {
        const gdcm::DataSet& data = reader.GetFile().GetDataSet();
        readFrameTime(data, info);
        readSpacing(data, info);
    } catch (...) {
        // What was read so far stands.
    }
    return info;
}

} // namespace

RecordingInfo readRecordingInfo(const std::string& fileName) {
    if (namesImageSequence(fileName)) {
        RecordingInfo info;
        info.isImageSequence = true;
        return info;
    }
    if (isDicomFile(fileName)) {
        return dicomRecordingInfo(fileName);
    }
    RecordingInfo info;
    CaptureReader reader;
    if (reader.open(fileName)) {
        info.frameTimeMs = frameTimeFromRate(reader.headerFramesPerSecond());
    }
    return info;
}
