// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/dicomReader.h"

// GCC's flow analysis sees a null pointer that GDCM's ByteValue copies from
// when its length is 0 (std::copy of nothing), inlined from GDCM's headers.
#pragma GCC diagnostic ignored "-Wnonnull"

#include "tracking/dicomAttributes.h"
#include "tracking/dicomPixels.h"
#include "tracking/dicomPreflight.h"
#include "tracking/recordingKind.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gdcmFragment.h>
#include <gdcmJPEG2000Codec.h>
#include <gdcmJPEGCodec.h>
#include <gdcmJPEGLSCodec.h>
#include <gdcmMediaStorage.h>
#include <gdcmRLECodec.h>
#include <gdcmReader.h>
#include <gdcmSequenceOfFragments.h>
#include <gdcmTrace.h>
#include <gdcmUIDs.h>

namespace {

const gdcm::Tag pixelDataTag(0x7fe0, 0x0010);

// Bounds that no cine loop reaches and that a damaged header easily does: a
// frame of them is still decoded in reasonable memory.
constexpr int largestSide = 16384;
constexpr std::size_t largestFrameBytes = std::size_t{256} << 20;
constexpr std::int64_t largestFrameCount = 10'000'000;
// A deflated file is inflated whole, frames and all, so it has to fit.
constexpr std::uint64_t largestDeflatedPixelBytes = std::uint64_t{1} << 30;

struct Span {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
};

enum class Storage { Native, Encapsulated, Inflated };

std::string uidName(const std::string& uid) {
    gdcm::UIDs known;
    if (known.SetFromUID(uid.c_str()) && known.GetName() != nullptr && *known.GetName() != '\0') {
        return known.GetName();
    }
    return {};
}

FrameCodec codecKind(const gdcm::TransferSyntax& syntax) {
    if (syntax == gdcm::TransferSyntax::RLELossless) {
        return FrameCodec::Rle;
    }
    if (syntax == gdcm::TransferSyntax::JPEGLSLossless ||
        syntax == gdcm::TransferSyntax::JPEGLSNearLossless) {
        return FrameCodec::JpegLs;
    }
    if (syntax == gdcm::TransferSyntax::JPEG2000Lossless ||
        syntax == gdcm::TransferSyntax::JPEG2000) {
        return FrameCodec::Jpeg2000;
    }
    return FrameCodec::Jpeg;
}

bool decodableEncapsulated(gdcm::TransferSyntax::TSType type) {
    using TS = gdcm::TransferSyntax;
    switch (type) {
    case TS::RLELossless:
    case TS::JPEGBaselineProcess1:
    case TS::JPEGExtendedProcess2_4:
    case TS::JPEGLosslessProcess14:
    case TS::JPEGLosslessProcess14_1:
    case TS::JPEGLSLossless:
    case TS::JPEGLSNearLossless:
    case TS::JPEG2000Lossless:
    case TS::JPEG2000:
        return true;
    default:
        return false;
    }
}

std::unique_ptr<gdcm::ImageCodec> codecFor(const gdcm::TransferSyntax& syntax) {
    std::unique_ptr<gdcm::ImageCodec> codec;
    if (syntax == gdcm::TransferSyntax::RLELossless) {
        codec = std::make_unique<gdcm::RLECodec>();
    } else if (syntax == gdcm::TransferSyntax::JPEGLSLossless ||
               syntax == gdcm::TransferSyntax::JPEGLSNearLossless) {
        codec = std::make_unique<gdcm::JPEGLSCodec>();
    } else if (syntax == gdcm::TransferSyntax::JPEG2000Lossless ||
               syntax == gdcm::TransferSyntax::JPEG2000) {
        codec = std::make_unique<gdcm::JPEG2000Codec>();
    } else {
        codec = std::make_unique<gdcm::JPEGCodec>();
    }
    return codec;
}

// Whether a fragment that starts with `head` starts a new frame: JPEG and
// JPEG-LS start with a start-of-image marker, JPEG 2000 with its code stream
// or its file signature.
bool startsAFrame(const std::array<unsigned char, 4>& head) {
    const bool jpeg = head[0] == 0xff && head[1] == 0xd8;
    const bool codestream = head[0] == 0xff && head[1] == 0x4f && head[2] == 0xff;
    const bool jp2 = head[0] == 0 && head[1] == 0 && head[2] == 0 && head[3] == 0x0c;
    return jpeg || codestream || jp2;
}

DicomPixelLayout layoutOf(const gdcm::DataSet& data) {
    DicomPixelLayout layout;
    const auto integer = [&data](std::uint16_t element, int fallback) {
        const std::optional<double> value = numberOf(data, gdcm::Tag(0x0028, element));
        return value && *value >= 0 && *value < 1e6 ? static_cast<int>(*value) : fallback;
    };
    layout.rows = integer(0x0010, 0);
    layout.columns = integer(0x0011, 0);
    layout.samplesPerPixel = integer(0x0002, 1);
    layout.bitsAllocated = integer(0x0100, 0);
    layout.bitsStored = integer(0x0101, layout.bitsAllocated);
    layout.isSigned = integer(0x0103, 0) == 1;
    layout.photometric = textOf(data, gdcm::Tag(0x0028, 0x0004));
    if (layout.photometric.empty()) {
        layout.photometric = layout.samplesPerPixel == 3 ? "RGB" : "MONOCHROME2";
    }
    layout.planarConfiguration = integer(0x0006, 0);
    layout.rescaleSlope = numberOf(data, gdcm::Tag(0x0028, 0x1053)).value_or(1.0);
    if (layout.rescaleSlope == 0.0) {
        layout.rescaleSlope = 1.0;
    }
    layout.rescaleIntercept = numberOf(data, gdcm::Tag(0x0028, 0x1052)).value_or(0.0);
    layout.windowCentre = numberOf(data, gdcm::Tag(0x0028, 0x1050));
    layout.windowWidth = numberOf(data, gdcm::Tag(0x0028, 0x1051));
    layout.smallestValue = numberOf(data, gdcm::Tag(0x0028, 0x0106), layout.isSigned);
    layout.largestValue = numberOf(data, gdcm::Tag(0x0028, 0x0107), layout.isSigned);
    if (layout.photometric == "PALETTE COLOR") {
        // Descriptor: entries (0 meaning 65536), first value mapped, bits per entry.
        // A descriptor that is no such thing leaves the palette empty, and
        // the file is refused for it.
        std::array<std::vector<std::uint16_t>, 3> tables;
        int entries = 0;
        for (std::uint16_t channel = 0; channel < 3; ++channel) {
            const std::vector<double> descriptor =
                numbersOf(data, gdcm::Tag(0x0028, static_cast<std::uint16_t>(0x1101 + channel)));
            const gdcm::Tag table(0x0028, static_cast<std::uint16_t>(0x1201 + channel));
            if (descriptor.size() != 3 || !data.FindDataElement(table) ||
                data.GetDataElement(table).GetByteValue() == nullptr) {
                return layout;
            }
            const double count = descriptor[0];
            const double firstIndex = descriptor[1];
            const double bitsPerEntry = descriptor[2];
            if (!(count >= 0 && count <= 65535 && std::floor(count) == count) ||
                !(firstIndex >= -32768 && firstIndex <= 65535) ||
                !(bitsPerEntry >= 1 && bitsPerEntry <= 16)) {
                return layout;
            }
            const int channelEntries = count == 0 ? 65536 : static_cast<int>(count);
            if (channel > 0 && channelEntries != entries) {
                return layout;
            }
            entries = channelEntries;
            layout.paletteFirstIndex = static_cast<int>(firstIndex);
            const int bits = static_cast<int>(bitsPerEntry);
            const gdcm::ByteValue* bytes = data.GetDataElement(table).GetByteValue();
            if (bytes->GetLength() < static_cast<std::uint32_t>(entries) * 2) {
                return layout;
            }
            tables[channel].resize(static_cast<std::size_t>(entries));
            std::memcpy(tables[channel].data(), bytes->GetPointer(), tables[channel].size() * 2);
            for (std::uint16_t& value : tables[channel]) {
                value = static_cast<std::uint16_t>(bits > 8 ? value >> (bits - 8) : value);
            }
        }
        for (int entry = 0; entry < entries; ++entry) {
            const auto at = static_cast<std::size_t>(entry);
            const auto level = [&](int channel) {
                return static_cast<std::uint8_t>(std::min<std::uint16_t>(tables[channel][at], 255));
            };
            layout.palette.emplace_back(level(2), level(1), level(0));
        }
    }
    return layout;
}

} // namespace

bool isDicomFile(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    std::array<char, 132> head{};
    if (!file.read(head.data(), head.size())) {
        file.clear();
    }
    if (file.gcount() == 132 && std::memcmp(head.data() + 128, "DICM", 4) == 0) {
        return true;
    }
    // Without a preamble, the first element must be one that starts a data set
    // (GDCM alone takes a file of zeros for one), and GDCM must read it so.
    if (!startsAsDicomDataSet(
            std::string_view(head.data(), static_cast<std::size_t>(file.gcount())))) {
        return false;
    }
    gdcm::Trace::SetWarning(false);
    gdcm::Reader reader;
    reader.SetFileName(fileName.c_str());
    try {
        return reader.CanRead();
    } catch (...) {
        return false;
    }
}

struct DicomReader::Loop {
    std::string fileName;
    std::ifstream file;
    Storage storage = Storage::Native;
    gdcm::TransferSyntax syntax;
    gdcm::PixelFormat pixelFormat;
    gdcm::PhotometricInterpretation photometric;
    DicomPixelLayout stored;
    std::optional<DicomPixelConverter> converter;
    std::int64_t frames = 0;
    std::int64_t next = 0;
    // Native: where the first frame starts and how long each is.
    std::uint64_t firstFrame = 0;
    std::size_t bytesPerFrame = 0;
    // Encapsulated: the fragments of each frame.
    std::vector<std::vector<Span>> fragments;
    // Deflated: the inflated data set, the frames from `firstFrame` on.
    std::vector<char> inflated;
    std::vector<char> compressed;
    std::vector<char> decoded;
    // Encapsulated: the codec's output, used where it lies.
    gdcm::DataElement codecOutput;
    const char* decodedData = nullptr;
    std::size_t decodedSize = 0;
    // Why the last frame that failed was not decoded, where it is known.
    std::string frameProblem;

    bool decode(std::int64_t index, const char*& data, std::size_t& size);
    bool decodeFragments(std::int64_t index);
};

bool DicomReader::Loop::decodeFragments(std::int64_t index) {
    const std::vector<Span>& spans = fragments[static_cast<std::size_t>(index)];
    gdcm::SmartPointer<gdcm::SequenceOfFragments> sequence = new gdcm::SequenceOfFragments;
    std::uint64_t total = 0;
    for (const Span& span : spans) {
        total += span.length;
    }
    // A frame is never much larger compressed than it is decoded.
    frameProblem.clear();
    if (total > 2 * static_cast<std::uint64_t>(bytesPerFrame) + (std::uint64_t{1} << 20)) {
        frameProblem = "its compressed frame is far larger than the frame itself";
        return false;
    }
    const FrameCodec kind = codecKind(syntax);
    if (kind == FrameCodec::Rle && spans.size() != 1) {
        frameProblem = "its RLE frame is split into " + std::to_string(spans.size()) + " fragments";
        return false;
    }
    for (const Span& span : spans) {
        compressed.resize(span.length);
        file.clear();
        file.seekg(static_cast<std::streamoff>(span.offset));
        if (!file.read(compressed.data(), static_cast<std::streamsize>(span.length))) {
            return false;
        }
        if (&span != &spans.front() && span.length >= 4 &&
            startsAFrame({static_cast<unsigned char>(compressed[0]),
                          static_cast<unsigned char>(compressed[1]),
                          static_cast<unsigned char>(compressed[2]),
                          static_cast<unsigned char>(compressed[3])})) {
            // GDCM's JPEG codec asserts on a frame that holds a second image.
            frameProblem = "its frame holds more than one image (is its Number of Frames right?)";
            return false;
        }
        if (&span == &spans.front()) {
            // The stream's own header against the attributes, before the codec
            // trusts either.
            const FrameExpectation expected{stored.rows, stored.columns, stored.samplesPerPixel,
                                            stored.bitsAllocated};
            frameProblem =
                codecStreamProblem(kind, reinterpret_cast<const unsigned char*>(compressed.data()),
                                   span.length, expected);
            if (!frameProblem.empty()) {
                return false;
            }
        }
        gdcm::Fragment fragment;
        fragment.SetByteValue(compressed.data(), span.length);
        sequence->AddFragment(fragment);
    }
    // In this order: GDCM asserts that only a sequence has an undefined length.
    gdcm::DataElement input(pixelDataTag);
    input.SetVLToUndefined();
    input.SetVR(gdcm::VR::OB);
    input.SetValue(*sequence);

    std::unique_ptr<gdcm::ImageCodec> codec = codecFor(syntax);
    const unsigned dimensions[3] = {static_cast<unsigned>(stored.columns),
                                    static_cast<unsigned>(stored.rows), 1};
    codec->SetNumberOfDimensions(2);
    codec->SetDimensions(dimensions);
    codec->SetPlanarConfiguration(static_cast<unsigned>(stored.planarConfiguration));
    codec->SetPhotometricInterpretation(photometric);
    // Last: the JPEG codec picks its 8-, 12- or 16-bit decoder here and hands
    // it what it was told before.
    codec->SetPixelFormat(pixelFormat);
    codec->SetNeedOverlayCleanup(false);
    // RLE and JPEG-LS decode into a buffer of the frame's size, which they are told.
    if (auto* rle = dynamic_cast<gdcm::RLECodec*>(codec.get())) {
        rle->SetBufferLength(bytesPerFrame);
    } else if (auto* jpegLs = dynamic_cast<gdcm::JPEGLSCodec*>(codec.get())) {
        jpegLs->SetBufferLength(bytesPerFrame);
    }
    gdcm::DataElement& output = codecOutput;
    output = gdcm::DataElement();
    try {
        if (!codec->Decode(input, output)) {
            return false;
        }
    } catch (...) {
        return false;
    }
    const gdcm::ByteValue* bytes = output.GetByteValue();
    if (bytes == nullptr) {
        return false;
    }
    // What the codec made of the frame: JPEG turns YBR into RGB.
    DicomPixelLayout made = stored;
    made.photometric = gdcm::PhotometricInterpretation::GetPIString(
        codec->GetPhotometricInterpretation().GetType());
    made.photometric.erase(made.photometric.find_last_not_of(' ') + 1); // "RGB " is padded
    made.planarConfiguration = static_cast<int>(codec->GetPlanarConfiguration());
    if (made.photometric == "YBR_FULL_422" &&
        bytes->GetLength() == stored.rows * stored.columns * 3u) {
        made.photometric = "YBR_FULL"; // the codec upsampled the colour
    }
    if (bytes->GetLength() < frameBytes(made)) {
        return false;
    }
    if (!converter || converter->layout().photometric != made.photometric ||
        converter->layout().planarConfiguration != made.planarConfiguration) {
        if (!layoutProblem(made).empty()) {
            return false;
        }
        converter.emplace(made);
    }
    decodedData = bytes->GetPointer();
    decodedSize = frameBytes(made);
    return true;
}

bool DicomReader::Loop::decode(std::int64_t index, const char*& data, std::size_t& size) {
    switch (storage) {
    case Storage::Native:
        decoded.resize(bytesPerFrame);
        file.clear();
        file.seekg(static_cast<std::streamoff>(firstFrame +
                                               static_cast<std::uint64_t>(index) * bytesPerFrame));
        if (!file.read(decoded.data(), static_cast<std::streamsize>(bytesPerFrame))) {
            return false;
        }
        data = decoded.data();
        size = bytesPerFrame;
        return true;
    case Storage::Inflated:
        data = inflated.data() + firstFrame + static_cast<std::size_t>(index) * bytesPerFrame;
        size = bytesPerFrame;
        return true;
    case Storage::Encapsulated:
        if (!decodeFragments(index)) {
            return false;
        }
        data = decodedData;
        size = decodedSize;
        return true;
    }
    return false;
}

DicomReader::DicomReader() = default;
DicomReader::~DicomReader() = default;

Refusable<> DicomReader::openLoop(const std::string& fileName) {
    gdcm::Trace::SetWarning(false);
    gdcm::Trace::SetError(false);
    loop.reset();
    auto opened = std::make_unique<Loop>();
    // GDCM sees nothing of the file before its structure has been walked.
    DicomPreflight preflight;
    if (const std::optional<std::string> problem = preflight.examine(fileName)) {
        return Refusal{QString::fromStdString(*problem)};
    }
    gdcm::Reader header;
    if (!preflight.parseAttributes(header)) {
        return Refusal{
            QStringLiteral("it is a DICOM file whose attributes cannot be read (damaged or cut "
                           "short before its pixel data)")};
    }
    const gdcm::File& dicom = header.GetFile();
    const gdcm::DataSet& data = dicom.GetDataSet();

    gdcm::MediaStorage storageClass;
    storageClass.SetFromFile(dicom);
    const std::string sopClass = textOf(dicom.GetHeader(), gdcm::Tag(0x0002, 0x0002)).empty()
                                     ? textOf(data, gdcm::Tag(0x0008, 0x0016))
                                     : textOf(dicom.GetHeader(), gdcm::Tag(0x0002, 0x0002));
    const bool hasImage = data.FindDataElement(gdcm::Tag(0x0028, 0x0010));
    if (!hasImage || storageClass == gdcm::MediaStorage::MediaStorageDirectoryStorage) {
        const std::string what = uidName(sopClass);
        return Refusal{
            QStringLiteral("it is a DICOM file that holds no image%1")
                .arg(what.empty() ? QString()
                                  : QStringLiteral(" but a %1").arg(QString::fromStdString(what)))};
    }

    const std::string& syntaxUid = preflight.transferSyntaxUid();
    opened->syntax = gdcm::TransferSyntax(gdcm::TransferSyntax::GetTSType(syntaxUid.c_str()));
    using TS = gdcm::TransferSyntax;
    const TS::TSType type = opened->syntax;
    const bool native = preflight.encoding() == DicomEncoding::ImplicitLittle ||
                        preflight.encoding() == DicomEncoding::ExplicitLittle;
    const bool deflated = preflight.encoding() == DicomEncoding::Deflated;
    if (!native && !deflated && !decodableEncapsulated(type)) {
        return Refusal{QString::fromStdString(unplayableSyntaxReason(syntaxUid))};
    }

    DicomPixelLayout& layout = opened->stored;
    layout = layoutOf(data);
    if (layout.rows < 1 || layout.columns < 1 || layout.rows > largestSide ||
        layout.columns > largestSide) {
        return Refusal{QStringLiteral("its frames are said to be %1 x %2 pixels")
                           .arg(layout.columns)
                           .arg(layout.rows)};
    }
    if (const std::string problem = layoutProblem(layout); !problem.empty()) {
        return Refusal{QString::fromStdString(printableText(problem))};
    }
    const gdcm::Tag planarTag(0x0028, 0x0006);
    if (data.FindDataElement(planarTag) && !data.GetDataElement(planarTag).IsEmpty()) {
        const std::optional<double> planar = numberOf(data, planarTag);
        if (!planar || (*planar != 0 && *planar != 1)) {
            return Refusal{
                QStringLiteral("its Planar Configuration is %1, where only 0 and 1 are defined")
                    .arg(planar ? QString::number(*planar)
                                : QString::fromStdString(printableText(textOf(data, planarTag))))};
        }
    }
    opened->bytesPerFrame = frameBytes(layout);
    if (opened->bytesPerFrame > largestFrameBytes) {
        return Refusal{QStringLiteral("its frames are larger than 256 MiB each")};
    }
    const gdcm::Tag framesTag(0x0028, 0x0008);
    opened->frames = 1;
    if (data.FindDataElement(framesTag) && !data.GetDataElement(framesTag).IsEmpty()) {
        // Checked before it is converted: 1e300 fits no count, and NaN is
        // none, not "one frame".
        const std::optional<double> count = numberOf(data, framesTag);
        if (!count || !(*count >= 1 && *count <= static_cast<double>(largestFrameCount)) ||
            std::floor(*count) != *count) {
            return Refusal{QStringLiteral("its Number of Frames is %1")
                               .arg(count ? QString::number(*count, 'g', 6)
                                          : QStringLiteral("\"%1\"").arg(QString::fromStdString(
                                                printableText(textOf(data, framesTag)))))};
        }
        opened->frames = static_cast<std::int64_t>(*count);
    }
    opened->pixelFormat = gdcm::PixelFormat(static_cast<unsigned short>(layout.samplesPerPixel),
                                            static_cast<unsigned short>(layout.bitsAllocated),
                                            static_cast<unsigned short>(layout.bitsStored),
                                            static_cast<unsigned short>(layout.bitsStored - 1),
                                            static_cast<unsigned short>(layout.isSigned ? 1 : 0));
    // GDCM knows the names padded to an even length, as files store them.
    std::string paddedName = layout.photometric;
    if (paddedName.size() % 2 != 0) {
        paddedName += ' ';
    }
    opened->photometric = gdcm::PhotometricInterpretation(
        gdcm::PhotometricInterpretation::GetPIType(paddedName.c_str()));
    const QString noPixelData = QStringLiteral("it is a DICOM file that holds no pixel data");
    const QString cutShort =
        QStringLiteral("its pixel data are cut short (the file ends before its frames do)");
    const QString tooFewFrames = QStringLiteral("its pixel data hold fewer frames than its "
                                                "Number of Frames (%1) says")
                                     .arg(opened->frames);
    const std::uint64_t allBytes =
        static_cast<std::uint64_t>(opened->frames) * opened->bytesPerFrame;

    if (!preflight.pixelData()) {
        return Refusal{noPixelData};
    }
    const DicomPixelData& pixels = *preflight.pixelData();
    if (pixels.encapsulated() && (native || deflated)) {
        return Refusal{QStringLiteral("its pixel data are encapsulated, which its transfer "
                                      "syntax does not allow")};
    }
    if (!pixels.encapsulated() && !native && !deflated) {
        return Refusal{QStringLiteral("its pixel data are not encapsulated, as its transfer "
                                      "syntax says they are")};
    }
    if (deflated) {
        // The data set is one deflated stream, inflated by the pre-flight as
        // far as the frames go into the one copy the frames are taken from.
        if (allBytes > largestDeflatedPixelBytes) {
            return Refusal{
                QStringLiteral("it is a deflated file whose frames are larger than 1 GiB")};
        }
        if (pixels.length < allBytes) {
            return Refusal{tooFewFrames};
        }
        if (preflight.inflatePixelData(allBytes) < allBytes) {
            return Refusal{cutShort};
        }
        opened->firstFrame = pixels.valueStart;
        opened->inflated = preflight.takeInflatedBytes();
        opened->storage = Storage::Inflated;
    } else if (!pixels.encapsulated()) {
        opened->file.open(fileName, std::ios::binary);
        std::error_code error;
        const std::uint64_t fileSize = std::filesystem::file_size(fileName, error);
        if (error || !opened->file) {
            return Refusal{QStringLiteral("the file cannot be read")};
        }
        if (pixels.valueStart + std::min<std::uint64_t>(pixels.length, allBytes) > fileSize) {
            return Refusal{cutShort};
        }
        if (pixels.length < allBytes) {
            return Refusal{tooFewFrames};
        }
        opened->storage = Storage::Native;
        opened->firstFrame = pixels.valueStart;
    } else {
        opened->file.open(fileName, std::ios::binary);
        if (!opened->file) {
            return Refusal{QStringLiteral("the file cannot be read")};
        }
        // The fragments: the first item is the Basic Offset Table.
        const std::vector<DicomFragment>& items = pixels.items;
        if (items.size() < 2) {
            return Refusal{noPixelData};
        }
        std::vector<Span> pieces;
        for (std::size_t item = 1; item < items.size(); ++item) {
            pieces.push_back({items[item].offset, items[item].length});
        }
        // Item headers are 8 bytes: offsets count from the first one's.
        const std::uint64_t firstPiece = items[1].offset - 8;
        std::vector<std::uint32_t> offsets(items[0].length / 4);
        if (!offsets.empty()) {
            opened->file.clear();
            opened->file.seekg(static_cast<std::streamoff>(items[0].offset));
            opened->file.read(reinterpret_cast<char*>(offsets.data()),
                              static_cast<std::streamsize>(offsets.size() * 4));
        }
        auto& frames = opened->fragments;
        if (static_cast<std::int64_t>(pieces.size()) == opened->frames) {
            for (const Span& piece : pieces) {
                frames.push_back({piece});
            }
        } else if (opened->frames == 1) {
            frames.push_back(pieces);
        } else if (static_cast<std::int64_t>(offsets.size()) == opened->frames) {
            // A frame is the fragments from its offset up to the next one's.
            for (std::size_t piece = 0; piece < pieces.size(); ++piece) {
                const std::uint64_t offset = items[piece + 1].offset - 8 - firstPiece;
                while (frames.size() < offsets.size() && offsets[frames.size()] <= offset) {
                    frames.emplace_back();
                }
                if (frames.empty()) {
                    return Refusal{QStringLiteral("its encapsulated pixel data are damaged")};
                }
                frames.back().push_back(pieces[piece]);
            }
        } else if (type != TS::RLELossless) {
            for (std::size_t piece = 0; piece < pieces.size(); ++piece) {
                if (startsAFrame(items[piece + 1].head) || frames.empty()) {
                    frames.emplace_back();
                }
                frames.back().push_back(pieces[piece]);
            }
        }
        if (static_cast<std::int64_t>(frames.size()) < opened->frames) {
            return Refusal{tooFewFrames};
        }
        frames.resize(static_cast<std::size_t>(opened->frames));
        opened->storage = Storage::Encapsulated;
    }
    if (opened->storage != Storage::Encapsulated) {
        opened->converter.emplace(layout);
    }
    // The first frame shows whether the codec can decode this file at all.
    const char* first = nullptr;
    std::size_t size = 0;
    if (!opened->decode(0, first, size)) {
        return Refusal{opened->frameProblem.empty()
                           ? QStringLiteral("its first frame cannot be decoded (%1)")
                                 .arg(QString::fromStdString(uidName(syntaxUid)))
                           : QStringLiteral("its first frame cannot be decoded: %1")
                                 .arg(QString::fromStdString(opened->frameProblem))};
    }
    opened->fileName = fileName;
    loop = std::move(opened);
    return {};
}

std::int64_t DicomReader::frameCount() const {
    return loop ? loop->frames : 0;
}

cv::Size DicomReader::frameSize() const {
    return loop ? cv::Size(loop->stored.columns, loop->stored.rows) : cv::Size();
}

bool DicomReader::read(cv::Mat& frame) {
    if (!loop || loop->next >= loop->frames) {
        return false;
    }
    const std::int64_t index = loop->next++;
    const char* data = nullptr;
    std::size_t size = 0;
    return loop->decode(index, data, size) && loop->converter &&
           loop->converter->toBgr(data, size, frame);
}

void DicomReader::seek(std::int64_t index) {
    if (loop) {
        loop->next = std::clamp<std::int64_t>(index, 0, loop->frames);
    }
}

std::int64_t DicomReader::position() {
    return loop ? loop->next : 0;
}

std::unique_ptr<FrameReader> DicomReader::openAnother() const {
    if (!loop || loop->storage == Storage::Inflated) {
        return nullptr;
    }
    auto another = std::make_unique<DicomReader>();
    if (!another->openLoop(loop->fileName) || another->frameCount() != frameCount()) {
        return nullptr;
    }
    return another;
}
