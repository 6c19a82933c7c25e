// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gdcm {
class Reader;
}

// The pre-flight of a DICOM file: its structure is walked here, element by
// element within limits, before GDCM parses any of it, and each compressed
// frame is checked against the attributes before GDCM decodes it. GDCM (as
// Debian builds it, with its assertions on) trusts what a file says about
// itself: a length past the end of the file, a deep nesting or a codec stream
// larger than its frame aborts or overruns it. What passes here is what GDCM
// can parse safely; every refusal says why, in words for the user.

// Bounds that no real recording comes near and a damaged or hostile file
// easily passes.
struct DicomLimits {
    // Sequences within items within sequences.
    int deepestNesting = 32;
    // Any one element but the pixel data: what GDCM would allocate for it.
    std::uint64_t largestAttribute = std::uint64_t{64} << 20;
    // Everything before the pixel data, which GDCM holds in memory at once.
    std::uint64_t largestAttributes = std::uint64_t{256} << 20;
    // Elements and items together, each of which GDCM keeps as an object.
    std::uint64_t mostElements = 1'000'000;
    // Fragments of the encapsulated pixel data.
    std::uint64_t mostFragments = std::uint64_t{1} << 22;
};

// How the data set is encoded. Every transfer syntax but the first three
// encapsulates its pixel data in an explicit little-endian data set.
enum class DicomEncoding { ImplicitLittle, ExplicitLittle, Deflated, Encapsulated };

// A fragment (or the Basic Offset Table) of encapsulated pixel data: where
// its bytes are in the file, and its first four bytes.
struct DicomFragment {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    std::array<unsigned char, 4> head{};
};

struct DicomPixelData {
    // Where the value starts: in the file, or for a deflated file in its
    // inflated bytes (DicomPreflight::inflatedBytes).
    std::uint64_t valueStart = 0;
    // The length its element gives; undefined (0xffffffff) where encapsulated.
    std::uint32_t length = 0;
    bool encapsulated() const { return length == 0xffffffffu; }
    // Encapsulated: the Basic Offset Table, then the fragments.
    std::vector<DicomFragment> items;
};

class DicomPreflight {
  public:
    DicomPreflight();
    ~DicomPreflight();
    DicomPreflight(const DicomPreflight&) = delete;
    DicomPreflight& operator=(const DicomPreflight&) = delete;

    // Walks the file `fileName`: its meta information, its data set up to the
    // pixel data, and the pixel data's fragments. A deflated data set is
    // inflated so far (streaming, within the limits). None if GDCM may parse
    // it; else why not.
    std::optional<std::string> examine(const std::string& fileName, const DicomLimits& limits = {});

    DicomEncoding encoding() const { return dataSetEncoding; }
    const std::string& transferSyntaxUid() const { return syntaxUid; }
    // None if the data set holds no pixel data.
    const std::optional<DicomPixelData>& pixelData() const { return pixels; }

    // Parses the attributes walked (everything before the pixel data) with
    // GDCM, from memory. The meta information it sees names the data set's
    // own encoding, so that GDCM never guesses it.
    bool parseAttributes(gdcm::Reader& reader) const;

    // Deflated: inflates the pixel data's value up to `wanted` bytes (no more
    // than its length says); what it holds then, less where the stream ends
    // first. Its bytes are then in `inflatedBytes` from `valueStart`.
    std::uint64_t inflatePixelData(std::uint64_t wanted);
    // Deflated: the one inflated copy of the data set, for the frames to be
    // taken from; the pre-flight is done with it.
    std::vector<char> takeInflatedBytes();

  private:
    struct Inflation;
    std::optional<std::string> examineDeflated(std::uint64_t dataSetStart,
                                               const DicomLimits& limits);

    DicomEncoding dataSetEncoding = DicomEncoding::ExplicitLittle;
    std::string syntaxUid;
    std::optional<DicomPixelData> pixels;
    // The preamble and the meta information as GDCM is to see them, then the
    // data set: up to its pixel data, or for a deflated file all of it
    // inflated so far.
    std::vector<char> bytes;
    std::size_t metaEnd = 0;
    std::size_t attributesEnd = 0;
    std::unique_ptr<Inflation> inflation;
};

// What one compressed frame's stream says about itself, against what the
// attributes say the frame is: why it must not be decoded, or empty. JPEG
// (its frame header), JPEG-LS (the same), JPEG 2000 (its image size and
// components) and RLE (its segments); `frame` is the frame's first fragment,
// or all of it for RLE.
struct FrameExpectation {
    int rows = 0;
    int columns = 0;
    int samplesPerPixel = 1;
    int bitsAllocated = 8;
};
enum class FrameCodec { Jpeg, JpegLs, Jpeg2000, Rle };
std::string codecStreamProblem(FrameCodec codec, const unsigned char* frame, std::size_t size,
                               const FrameExpectation& expected);

// Why a file of the transfer syntax `uid` cannot be played: its name where
// DICOM's dictionary knows it.
std::string unplayableSyntaxReason(const std::string& uid);

// Text taken from a file, made safe for a terminal and a message: bytes
// outside printable ASCII as \xNN, the backslash doubled.
std::string printableText(const std::string& text);
