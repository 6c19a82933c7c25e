// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/imageSequence.h"

#include "tracking/recordingKind.h"

#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <array>
#include <cctype>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <optional>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Longer numbers do not fit a 63-bit count; such names are not numbered frames.
constexpr std::size_t longestNumber = 18;
// Sentences about gaps at most; the rest are counted.
// (Messages take every argument in one QString::arg: a pattern's own "%04d"
// would be taken for a place to fill by a later call.)
constexpr int gapsSaid = 10;

QString shown(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

QString inQuotes(const std::string& bytes) {
    return '"' + shown(bytes) + '"';
}

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool hasImageExtension(const std::string& fileName) {
    std::string extension = fs::path(fileName).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const std::array<std::string_view, 6> known{".png", ".jpg",  ".jpeg",
                                                       ".tif", ".tiff", ".bmp"};
    return std::find(known.begin(), known.end(), extension) != known.end();
}

// A file name cut around one run of digits.
struct NumberedName {
    std::string prefix;
    std::string digits;
    std::string suffix;
};

// The runs of digits in the name before its extension, the last first.
std::vector<NumberedName> digitRuns(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    const std::size_t stemEnd = dot == std::string::npos || dot == 0 ? fileName.size() : dot;
    std::vector<NumberedName> runs;
    std::size_t end = stemEnd;
    while (end > 0) {
        while (end > 0 && !isDigit(fileName[end - 1])) {
            --end;
        }
        std::size_t begin = end;
        while (begin > 0 && isDigit(fileName[begin - 1])) {
            --begin;
        }
        if (begin < end && end - begin <= longestNumber) {
            runs.push_back({fileName.substr(0, begin), fileName.substr(begin, end - begin),
                            fileName.substr(end)});
        }
        end = begin;
    }
    return runs;
}

// The parts of a printf pattern around its one %d, %Nd or %0Nd, "%%" being a
// percent sign; none for a name that is no such pattern.
std::optional<std::pair<std::string, std::string>> printfParts(const std::string& fileName) {
    std::string parts[2];
    int conversions = 0;
    for (std::size_t i = 0; i < fileName.size(); ++i) {
        if (fileName[i] != '%') {
            parts[conversions] += fileName[i];
            continue;
        }
        if (i + 1 < fileName.size() && fileName[i + 1] == '%') {
            parts[conversions] += '%';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < fileName.size() && isDigit(fileName[j])) {
            ++j;
        }
        if (j >= fileName.size() || fileName[j] != 'd' || conversions == 1) {
            return std::nullopt;
        }
        ++conversions;
        i = j;
    }
    if (conversions != 1) {
        return std::nullopt;
    }
    return std::make_pair(parts[0], parts[1]);
}

std::string escapedPercent(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        escaped += c == '%' ? std::string("%%") : std::string(1, c);
    }
    return escaped;
}

struct Member {
    std::int64_t number = 0;
    std::string fileName;
    std::size_t digitCount = 0;
};

// The printf pattern of a series, in `folder`: %0Nd where every number has
// the same N digits, %d otherwise.
std::string patternOf(const fs::path& folder, const std::string& prefix, const std::string& suffix,
                      const std::vector<Member>& members) {
    const std::size_t width = members.front().digitCount;
    const bool sameWidth = std::all_of(members.begin(), members.end(),
                                       [width](const Member& m) { return m.digitCount == width; });
    const std::string number = sameWidth && width > 1 ? "%0" + std::to_string(width) + "d" : "%d";
    const std::string name = escapedPercent(prefix) + number + escapedPercent(suffix);
    return folder.empty() || folder == "." ? name : (folder / name).string();
}

// The still images in `folder` by name, or why it cannot be listed.
Refusable<std::vector<std::string>> imagesIn(const fs::path& folder) {
    std::error_code error;
    fs::directory_iterator entries(folder.empty() ? fs::path(".") : folder, error);
    if (error) {
        return Refusal{
            QStringLiteral("the folder %1 cannot be read: %2")
                .arg(inQuotes(folder.string()), QString::fromStdString(error.message()))};
    }
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : entries) {
        std::error_code kind;
        const std::string name = entry.path().filename().string();
        if (hasImageExtension(name) && entry.is_regular_file(kind)) {
            names.push_back(name);
        }
    }
    return names;
}

// The files of `names` that are `prefix`, a number and `suffix`.
std::vector<Member> membersOf(const std::vector<std::string>& names, const std::string& prefix,
                              const std::string& suffix) {
    std::vector<Member> members;
    for (const std::string& name : names) {
        if (name.size() <= prefix.size() + suffix.size() ||
            name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        const std::string digits =
            name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        if (digits.size() <= longestNumber && std::all_of(digits.begin(), digits.end(), isDigit)) {
            members.push_back({std::stoll(digits), name, digits.size()});
        }
    }
    return members;
}

std::optional<cv::Size> imageSize(const std::string& file) {
    // Qt reads the size from the header alone; the file is opened by its
    // bytes, which a QString cannot always carry.
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0) {
        QFile device;
        if (device.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            QImageReader reader(&device);
            const QSize size = reader.canRead() ? reader.size() : QSize();
            if (size.isValid()) {
                return cv::Size(size.width(), size.height());
            }
        } else {
            ::close(descriptor);
        }
    }
    // A format that Qt has no reader for here (TIFF) is decoded whole.
    const cv::Mat image = cv::imread(file, cv::IMREAD_UNCHANGED);
    if (image.empty()) {
        return std::nullopt;
    }
    return image.size();
}

// The sequence of a series, its files in numeric order and all of one size.
Refusable<ImageSequence> sequenceOf(const fs::path& folder, const std::string& prefix,
                                    const std::string& suffix, std::vector<Member> members) {
    std::sort(members.begin(), members.end(), [](const Member& a, const Member& b) {
        return a.number != b.number ? a.number < b.number : a.fileName < b.fileName;
    });
    ImageSequence sequence;
    sequence.pattern = patternOf(folder, prefix, suffix, members);
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (i > 0 && members[i].number == members[i - 1].number) {
            return Refusal{
                QStringLiteral("%1 and %2 carry the same number; keep one of them")
                    .arg(inQuotes(members[i - 1].fileName), inQuotes(members[i].fileName))};
        }
        sequence.files.push_back((folder / members[i].fileName).string());
        sequence.numbers.push_back(members[i].number);
    }
    for (const std::string& file : sequence.files) {
        const std::optional<cv::Size> size = imageSize(file);
        if (!size) {
            return Refusal{
                QStringLiteral("the frame %1 cannot be read as an image").arg(inQuotes(file))};
        }
        if (sequence.frameSize.empty()) {
            sequence.frameSize = *size;
        } else if (*size != sequence.frameSize) {
            return Refusal{
                QStringLiteral("the frame %1 is %2 x %3 pixels, but the first frame %4 is %5 x "
                               "%6; every frame must be of one size")
                    .arg(inQuotes(file), QString::number(size->width),
                         QString::number(size->height), inQuotes(sequence.files.front()),
                         QString::number(sequence.frameSize.width),
                         QString::number(sequence.frameSize.height))};
        }
    }
    return sequence;
}

Refusable<ImageSequence> fromFolder(const fs::path& folder) {
    const Refusable<std::vector<std::string>> listed = imagesIn(folder);
    if (!listed) {
        return listed.refusal();
    }
    std::map<std::pair<std::string, std::string>, std::vector<Member>> series;
    for (const std::string& name : *listed) {
        const std::vector<NumberedName> runs = digitRuns(name);
        if (!runs.empty()) {
            const NumberedName& last = runs.front();
            series[{last.prefix, last.suffix}].push_back(
                {std::stoll(last.digits), name, last.digits.size()});
        }
    }
    if (series.empty()) {
        return Refusal{
            QStringLiteral("it is a folder that holds no numbered images (PNG, JPEG, TIFF "
                           "or BMP); choose a video in it, or a folder of numbered frames")};
    }
    if (series.size() > 1) {
        QStringList named;
        for (const auto& [parts, members] : series) {
            named << QString::fromLatin1(members.size() == 1 ? "%1 (%2 frame)" : "%1 (%2 frames)")
                         .arg(inQuotes(patternOf(folder, parts.first, parts.second, members)),
                              QString::number(members.size()));
        }
        return Refusal{
            QStringLiteral("it is a folder that holds %1 numbered series: %2; open one of "
                           "them by its pattern or by one of its frames")
                .arg(QString::number(series.size()), named.join(QStringLiteral(", ")))};
    }
    auto& [parts, members] = *series.begin();
    return sequenceOf(folder, parts.first, parts.second, std::move(members));
}

Refusable<ImageSequence> fromPattern(const fs::path& path) {
    const auto parts = printfParts(path.filename().string());
    const fs::path folder = path.parent_path();
    const Refusable<std::vector<std::string>> listed = imagesIn(folder);
    if (!listed) {
        return listed.refusal();
    }
    std::vector<Member> members = membersOf(*listed, parts->first, parts->second);
    if (members.empty()) {
        return Refusal{QStringLiteral("no image (PNG, JPEG, TIFF or BMP) matches the pattern")};
    }
    return sequenceOf(folder, parts->first, parts->second, std::move(members));
}

// The series that the still image `path` is a frame of: of the runs of digits
// in its name, the one that the most files beside it differ in.
Refusable<ImageSequence> fromFrame(const fs::path& path) {
    const fs::path folder = path.parent_path();
    const std::string name = path.filename().string();
    std::vector<Member> best{{0, name, 0}};
    NumberedName bestRun{name, "", ""};
    const std::vector<NumberedName> runs = digitRuns(name);
    if (!runs.empty() && hasImageExtension(name)) {
        const Refusable<std::vector<std::string>> listed = imagesIn(folder);
        if (!listed) {
            return listed.refusal();
        }
        for (const NumberedName& run : runs) {
            std::vector<Member> members = membersOf(*listed, run.prefix, run.suffix);
            if (members.size() > best.size()) {
                best = std::move(members);
                bestRun = run;
            }
        }
    }
    return sequenceOf(folder, bestRun.prefix, bestRun.suffix, std::move(best));
}

} // namespace

bool namesImageSequence(const std::string& name) {
    std::error_code error;
    const fs::file_status status = fs::status(name, error);
    if (fs::is_directory(status)) {
        return true;
    }
    if (!fs::exists(status)) {
        return printfParts(fs::path(name).filename().string()).has_value();
    }
    if (!fs::is_regular_file(status)) {
        return false;
    }
    std::array<char, 132> head{};
    std::ifstream file(name, std::ios::binary);
    file.read(head.data(), head.size());
    const std::string_view read(head.data(), static_cast<std::size_t>(file.gcount()));
    // A DICOM file may carry a TIFF header in its preamble, to be both.
    return startsAsStillImage(read) && (read.size() < 132 || read.substr(128, 4) != "DICM");
}

Refusable<ImageSequence> findImageSequence(const std::string& name) {
    std::error_code error;
    const fs::file_status status = fs::status(name, error);
    if (fs::is_directory(status)) {
        return fromFolder(name);
    }
    if (!fs::exists(status)) {
        return fromPattern(name);
    }
    return fromFrame(name);
}

QStringList numberingGaps(const ImageSequence& sequence) {
    QStringList gaps;
    int unsaid = 0;
    for (std::size_t i = 1; i < sequence.numbers.size(); ++i) {
        const std::int64_t before = sequence.numbers[i - 1];
        const std::int64_t after = sequence.numbers[i];
        if (after - before <= 1) {
            continue;
        }
        if (gaps.size() == gapsSaid) {
            ++unsaid;
            continue;
        }
        gaps << QStringLiteral("%1: the numbering jumps from %2 to %3 (%4 missing); frame %5 of "
                               "the sequence (counted from 0) is number %3")
                    .arg(inQuotes(sequence.pattern), QString::number(before),
                         QString::number(after), QString::number(after - before - 1),
                         QString::number(i));
    }
    if (unsaid > 0) {
        gaps << QStringLiteral("%1: %2 more gaps in the numbering")
                    .arg(inQuotes(sequence.pattern), QString::number(unsaid));
    }
    return gaps;
}

cv::Mat toEightBitBgr(const cv::Mat& image) {
    cv::Mat eightBit;
    if (image.depth() == CV_8U) {
        eightBit = image;
    } else if (image.depth() == CV_16U) {
        // The high byte of each sample, as OpenCV's own decoders make 8 bits of 16.
        image.convertTo(eightBit, CV_8U, 1.0 / 256.0, -0.5 + 1.0 / 512.0);
    } else {
        return {};
    }
    cv::Mat bgr;
    switch (eightBit.channels()) {
    case 1:
        cv::cvtColor(eightBit, bgr, cv::COLOR_GRAY2BGR);
        return bgr;
    case 2: // grey and alpha
        cv::extractChannel(eightBit, bgr, 0);
        cv::cvtColor(bgr, bgr, cv::COLOR_GRAY2BGR);
        return bgr;
    case 3:
        return eightBit;
    case 4:
        cv::cvtColor(eightBit, bgr, cv::COLOR_BGRA2BGR);
        return bgr;
    default:
        return {};
    }
}

bool ImageSequenceReader::read(cv::Mat& frame) {
    if (next < 0 || next >= frameCount()) {
        return false;
    }
    const std::string& file = images.files[static_cast<std::size_t>(next++)];
    cv::Mat image;
    try {
        image = toEightBitBgr(cv::imread(file, cv::IMREAD_UNCHANGED));
    } catch (const cv::Exception&) {
        return false;
    }
    if (image.empty() || image.size() != images.frameSize) {
        return false;
    }
    frame = image;
    return true;
}

void ImageSequenceReader::seek(std::int64_t index) {
    next = std::clamp<std::int64_t>(index, 0, frameCount());
}
