// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/dicomPreflight.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <gdcmDict.h>
#include <gdcmDicts.h>
#include <gdcmGlobal.h>
#include <gdcmReader.h>
#include <gdcmUIDs.h>
#include <istream>
#include <streambuf>
#include <string_view>
#include <utility>
#include <zlib.h>

namespace {

constexpr std::uint32_t undefinedLength = 0xffffffffu;

constexpr std::uint32_t tagOf(std::uint16_t group, std::uint16_t element) {
    return (std::uint32_t{group} << 16) | element;
}
constexpr std::uint32_t itemTag = tagOf(0xfffe, 0xe000);
constexpr std::uint32_t itemEndTag = tagOf(0xfffe, 0xe00d);
constexpr std::uint32_t sequenceEndTag = tagOf(0xfffe, 0xe0dd);
constexpr std::uint32_t pixelDataTag = tagOf(0x7fe0, 0x0010);
constexpr std::uint32_t groupLengthTag = tagOf(0x0002, 0x0000);
constexpr std::uint32_t syntaxTag = tagOf(0x0002, 0x0010);

constexpr std::string_view implicitLittleUid = "1.2.840.10008.1.2";
constexpr std::string_view explicitLittleUid = "1.2.840.10008.1.2.1";
constexpr std::string_view deflatedUid = "1.2.840.10008.1.2.1.99";
constexpr std::string_view explicitBigUid = "1.2.840.10008.1.2.2";

std::uint16_t little16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}
std::uint32_t little32(const unsigned char* at) {
    return std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8) | (std::uint32_t{at[2]} << 16) |
           (std::uint32_t{at[3]} << 24);
}
std::uint16_t big16(const unsigned char* at) {
    return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}
std::uint32_t big32(const unsigned char* at) {
    return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) |
           (std::uint32_t{at[2]} << 8) | std::uint32_t{at[3]};
}

std::string tagText(std::uint32_t tag) {
    char text[16];
    std::snprintf(text, sizeof text, "(%04X,%04X)", tag >> 16, tag & 0xffff);
    return text;
}

std::string mebibytes(std::uint64_t bytes) {
    if (bytes < (std::uint64_t{1} << 20)) {
        return std::to_string(bytes) + " bytes";
    }
    return std::to_string((bytes + (std::uint64_t{1} << 20) - 1) >> 20) + " MiB";
}

// The value representations of PS3.5, and whether their length takes 32 bits.
bool knownVr(unsigned char first, unsigned char second, bool& longLength) {
    static constexpr std::string_view shortLength[] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT",
                                                       "FL", "FD", "IS", "LO", "LT", "PN", "SH",
                                                       "SL", "SS", "ST", "TM", "UI", "UL", "US"};
    static constexpr std::string_view longer[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ",
                                                  "SV", "UC", "UN", "UR", "UT", "UV"};
    const char name[2] = {static_cast<char>(first), static_cast<char>(second)};
    const std::string_view vr(name, 2);
    longLength = std::find(std::begin(longer), std::end(longer), vr) != std::end(longer);
    return longLength ||
           std::find(std::begin(shortLength), std::end(shortLength), vr) != std::end(shortLength);
}

bool dictionarySaysSequence(std::uint32_t tag) {
    const gdcm::Tag key(static_cast<std::uint16_t>(tag >> 16),
                        static_cast<std::uint16_t>(tag & 0xffff));
    return gdcm::Global::GetInstance().GetDicts().GetDictEntry(key).GetVR() == gdcm::VR::SQ;
}

// The bytes walked: a file, read where asked, or memory that may still grow.
class Bytes {
  public:
    virtual ~Bytes() = default;
    virtual std::uint64_t size() const = 0;
    virtual bool read(std::uint64_t at, void* out, std::size_t count) = 0;
};

class FileBytes : public Bytes {
  public:
    FileBytes(std::ifstream& file, std::uint64_t length) : file(file), length(length) {}
    std::uint64_t size() const override { return length; }
    bool read(std::uint64_t at, void* out, std::size_t count) override {
        file.clear();
        file.seekg(static_cast<std::streamoff>(at));
        return static_cast<bool>(
            file.read(static_cast<char*>(out), static_cast<std::streamsize>(count)));
    }

  private:
    std::ifstream& file;
    std::uint64_t length;
};

class MemoryBytes : public Bytes {
  public:
    explicit MemoryBytes(const std::vector<char>& bytes) : bytes(bytes) {}
    std::uint64_t size() const override { return bytes.size(); }
    bool read(std::uint64_t at, void* out, std::size_t count) override {
        if (at > bytes.size() || count > bytes.size() - at) {
            return false;
        }
        std::memcpy(out, bytes.data() + at, count);
        return true;
    }

  private:
    const std::vector<char>& bytes;
};

struct ElementHeader {
    std::uint32_t tag = 0;
    std::uint32_t length = 0;
    std::uint64_t valueStart = 0;
    char vr[2] = {0, 0};
};

// Walks a data set's elements, sequences, items and fragments without ever
// reading past what holds them. On memory that is still growing (a deflated
// stream being inflated) running out means "more is needed", not damage.
class Walker {
  public:
    Walker(Bytes& bytes, const DicomLimits& limits, bool growing)
        : bytes(bytes), limits(limits), growing(growing) {}

    std::optional<std::string> problem;
    bool ranOut = false;
    bool walkPixelFragments = true;
    std::optional<DicomPixelData> pixelData;
    std::uint64_t pixelElementStart = 0;

    // The top-level data set from `start`, up to its pixel data or its end.
    void walkDataSet(std::uint64_t start, bool explicitVr) {
        dataSetStart = start;
        std::uint64_t at = start;
        dataSet(at, bytes.size(), explicitVr, 0, false);
    }

  private:
    bool refuse(const std::string& why) {
        problem = "it is a DICOM file whose attributes cannot be read: " + why;
        return false;
    }
    bool refusePixels(std::string why) {
        problem = std::move(why);
        return false;
    }

    // False (having said why, or that more is needed) where `needed` lies
    // past what holds it: the item around it, or the bytes there are.
    bool fits(std::uint64_t needed, std::uint64_t end, std::uint32_t tag, bool pixels) {
        if (needed <= end && needed <= bytes.size()) {
            return true;
        }
        if (end < bytes.size()) {
            return refuse("its element " + tagText(tag) +
                          " runs past the end of the sequence item that holds it");
        }
        if (growing) {
            ranOut = true;
            return false;
        }
        if (pixels) {
            return refusePixels(
                "its pixel data are cut short (the file ends before its frames do)");
        }
        return refuse("the file is cut short inside " + (tag == 0
                                                             ? std::string("an element's header")
                                                             : "its element " + tagText(tag)));
    }

    bool header(std::uint64_t at, std::uint64_t end, bool explicitVr, ElementHeader& header) {
        unsigned char raw[12];
        if (!fits(at + 8, end, 0, false) || !bytes.read(at, raw, 8)) {
            return ranOut || problem ? false : refuse("the file cannot be read");
        }
        header.tag = tagOf(little16(raw), little16(raw + 2));
        header.valueStart = at + 8;
        header.length = little32(raw + 4);
        if ((header.tag >> 16) == 0xfffe) {
            // GDCM reads only these three without a value representation.
            return header.tag == itemTag || header.tag == itemEndTag || header.tag == sequenceEndTag
                       ? true
                       : refuse("it holds the element " + tagText(header.tag) +
                                ", which DICOM does not define");
        }
        if (!explicitVr) {
            return true;
        }
        bool longLength = false;
        if (!knownVr(raw[4], raw[5], longLength)) {
            return refuse("its element " + tagText(header.tag) +
                          " has a value representation that DICOM does not know (\"" +
                          printableText(std::string(reinterpret_cast<char*>(raw + 4), 2)) + "\")");
        }
        header.vr[0] = static_cast<char>(raw[4]);
        header.vr[1] = static_cast<char>(raw[5]);
        if (!longLength) {
            header.length = little16(raw + 6);
            return true;
        }
        if (!fits(at + 12, end, header.tag, false) || !bytes.read(at + 8, raw + 8, 4)) {
            return ranOut || problem ? false : refuse("the file cannot be read");
        }
        header.length = little32(raw + 8);
        header.valueStart = at + 12;
        return true;
    }

    bool isVr(const ElementHeader& header, const char* vr) const {
        return header.vr[0] == vr[0] && header.vr[1] == vr[1];
    }

    bool counted() {
        return ++elements <= limits.mostElements
                   ? true
                   : refuse("it holds more than " + std::to_string(limits.mostElements) +
                            " attributes and items");
    }

    // Elements from `at` up to `end`, or up to their item delimiter.
    bool dataSet(std::uint64_t& at, std::uint64_t end, bool explicitVr, int depth, bool delimited) {
        while (true) {
            if (!delimited && at == end) {
                if (growing && depth == 0) {
                    ranOut = true;
                    return false;
                }
                return true;
            }
            ElementHeader element;
            if (!header(at, end, explicitVr, element)) {
                return false;
            }
            if (element.tag == itemEndTag) {
                if (!delimited || element.length != 0) {
                    return refuse("an item delimiter stands where an attribute is expected");
                }
                at = element.valueStart;
                return true;
            }
            if (element.tag == itemTag || element.tag == sequenceEndTag) {
                return refuse(
                    "an item or sequence delimiter stands where an attribute is expected");
            }
            if (!counted()) {
                return false;
            }
            if (depth == 0 && element.tag == pixelDataTag) {
                pixelElementStart = at;
                pixelData = DicomPixelData{element.valueStart, element.length, {}};
                if (element.length == undefinedLength && walkPixelFragments) {
                    std::uint64_t fragmentsAt = element.valueStart;
                    return fragments(fragmentsAt, &pixelData->items);
                }
                return true;
            }
            if (!value(at, end, element, explicitVr, depth)) {
                return false;
            }
        }
    }

    // An element's value: skipped, or walked where GDCM parses it as a
    // sequence or as fragments.
    bool value(std::uint64_t& at, std::uint64_t end, const ElementHeader& element, bool explicitVr,
               int depth) {
        if (element.length == undefinedLength) {
            std::uint64_t inside = element.valueStart;
            bool walked = false;
            if (element.tag == pixelDataTag) {
                walked = fragments(inside, nullptr);
            } else if (!explicitVr || isVr(element, "SQ") || isVr(element, "UN")) {
                // An undefined length in implicit VR, or on UN, is a sequence
                // in implicit VR.
                walked = sequence(inside, bytes.size(), explicitVr && isVr(element, "SQ"),
                                  depth + 1, true);
            } else {
                return refuse("its element " + tagText(element.tag) +
                              " has an undefined length, which its value representation does "
                              "not allow");
            }
            at = inside;
            return walked;
        }
        const std::uint64_t valueEnd = element.valueStart + element.length;
        // Within the file first, where its end is known: that is the damage.
        if (!growing && !fits(valueEnd, end, element.tag, false)) {
            return false;
        }
        if (element.length > limits.largestAttribute) {
            return refuse("its element " + tagText(element.tag) + " asks for " +
                          mebibytes(element.length) + ", more than the " +
                          mebibytes(limits.largestAttribute) + " any attribute may have");
        }
        if (valueEnd - dataSetStart > limits.largestAttributes) {
            return refuse("its attributes take more than " + mebibytes(limits.largestAttributes));
        }
        if (!fits(valueEnd, end, element.tag, false)) {
            return false;
        }
        const bool unknownValue = !explicitVr || isVr(element, "UN");
        bool asSequence =
            isVr(element, "SQ") || (unknownValue && dictionarySaysSequence(element.tag));
        if (!asSequence && unknownValue && element.length >= 8) {
            // GDCM takes a value that starts with an item for a sequence.
            unsigned char head[4];
            asSequence = bytes.read(element.valueStart, head, 4) && head[0] == 0xfe &&
                         head[1] == 0xff && head[2] == 0x00 && head[3] == 0xe0;
        }
        if (asSequence) {
            std::uint64_t inside = element.valueStart;
            if (!sequence(inside, valueEnd, explicitVr && isVr(element, "SQ"), depth + 1, false)) {
                return false;
            }
        }
        at = valueEnd;
        return true;
    }

    bool sequence(std::uint64_t& at, std::uint64_t end, bool explicitVr, int depth,
                  bool delimited) {
        if (depth > limits.deepestNesting) {
            return refuse("its sequences are nested more than " +
                          std::to_string(limits.deepestNesting) + " deep");
        }
        while (true) {
            if (!delimited && at == end) {
                return true;
            }
            ElementHeader item;
            if (!header(at, end, false, item)) {
                return false;
            }
            if (item.tag == sequenceEndTag) {
                if (!delimited || item.length != 0) {
                    return refuse("a sequence delimiter stands where an item is expected");
                }
                at = item.valueStart;
                return true;
            }
            if (item.tag != itemTag) {
                return refuse("a sequence holds " + tagText(item.tag) +
                              " where an item is expected");
            }
            if (!counted()) {
                return false;
            }
            std::uint64_t inside = item.valueStart;
            if (item.length == undefinedLength) {
                if (!dataSet(inside, bytes.size(), explicitVr, depth, true)) {
                    return false;
                }
                at = inside;
                continue;
            }
            const std::uint64_t itemEnd = item.valueStart + item.length;
            if (!fits(itemEnd, end, itemTag, false) ||
                !dataSet(inside, itemEnd, explicitVr, depth, false)) {
                return false;
            }
            at = itemEnd;
        }
    }

    // Encapsulated pixel data: items of defined length up to the sequence
    // delimiter; kept in `items` where given.
    bool fragments(std::uint64_t& at, std::vector<DicomFragment>* items) {
        std::uint64_t count = 0;
        while (true) {
            ElementHeader item;
            if (!fits(at + 8, bytes.size(), pixelDataTag, true) ||
                !header(at, bytes.size(), false, item)) {
                return false;
            }
            if (item.tag == sequenceEndTag) {
                at = item.valueStart;
                return true;
            }
            if (item.tag != itemTag || item.length == undefinedLength) {
                return refusePixels("its encapsulated pixel data are damaged");
            }
            if (++count > limits.mostFragments) {
                return refusePixels("its pixel data are split into more than " +
                                    std::to_string(limits.mostFragments) + " fragments");
            }
            const std::uint64_t itemEnd = item.valueStart + item.length;
            if (!fits(itemEnd, bytes.size(), pixelDataTag, true)) {
                return false;
            }
            if (items != nullptr) {
                DicomFragment fragment{item.valueStart, item.length, {}};
                if (item.length >= 4) {
                    bytes.read(item.valueStart, fragment.head.data(), 4);
                }
                items->push_back(fragment);
            }
            at = itemEnd;
        }
    }

    Bytes& bytes;
    const DicomLimits& limits;
    bool growing;
    std::uint64_t elements = 0;
    std::uint64_t dataSetStart = 0;
};

std::string trimmedUid(std::string uid) {
    while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) {
        uid.pop_back();
    }
    return uid;
}

void appendLittle(std::vector<char>& out, std::uint32_t value, int bytes) {
    for (int byte = 0; byte < bytes; ++byte) {
        out.push_back(static_cast<char>((value >> (8 * byte)) & 0xff));
    }
}

// An explicit-VR meta element, header and value.
std::string metaElement(std::uint32_t tag, const char* vr, std::string value) {
    std::vector<char> out;
    appendLittle(out, tag >> 16, 2);
    appendLittle(out, tag & 0xffff, 2);
    out.push_back(vr[0]);
    out.push_back(vr[1]);
    appendLittle(out, static_cast<std::uint32_t>(value.size()), 2);
    return std::string(out.begin(), out.end()) + value;
}

// A read-only stream over memory, with the seeking GDCM's reader does.
class MemoryStreamBuffer : public std::streambuf {
  public:
    MemoryStreamBuffer(const char* data, std::size_t size) {
        char* start = const_cast<char*>(data);
        setg(start, start, start + size);
    }

  protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                     std::ios_base::openmode) override {
        const off_type base = direction == std::ios_base::beg   ? 0
                              : direction == std::ios_base::cur ? gptr() - eback()
                                                                : egptr() - eback();
        const off_type target = base + offset;
        if (target < 0 || target > egptr() - eback()) {
            return pos_type(off_type(-1));
        }
        setg(eback(), eback() + target, egptr());
        return pos_type(target);
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode mode) override {
        return seekoff(off_type(position), std::ios_base::beg, mode);
    }
};

bool isSof(FrameCodec codec, unsigned char marker) {
    if (codec == FrameCodec::JpegLs) {
        return marker == 0xf7;
    }
    return marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
}

std::string sizeProblem(const char* what, std::uint64_t columns, std::uint64_t rows,
                        std::uint64_t components, const FrameExpectation& expected) {
    if (columns != static_cast<std::uint64_t>(expected.columns) ||
        rows != static_cast<std::uint64_t>(expected.rows) ||
        components != static_cast<std::uint64_t>(expected.samplesPerPixel)) {
        return std::string("its ") + what + " frame is " + std::to_string(columns) + " x " +
               std::to_string(rows) + " pixels of " + std::to_string(components) +
               " samples, where its attributes say " + std::to_string(expected.columns) + " x " +
               std::to_string(expected.rows) + " of " + std::to_string(expected.samplesPerPixel);
    }
    return {};
}

std::string precisionProblem(const char* what, int bits, const FrameExpectation& expected) {
    if (bits < 1 || bits > expected.bitsAllocated || (bits > 8) != (expected.bitsAllocated > 8)) {
        return std::string("its ") + what + " frame has samples of " + std::to_string(bits) +
               " bits, which do not fit its " + std::to_string(expected.bitsAllocated) +
               " bits allocated";
    }
    return {};
}

// The marker segments up to the first scan, as libjpeg reads them in
// jpeg_read_header: GDCM aborts on any warning there (stray bytes between
// markers, an unknown JFIF major version or Adobe transform), so a stream
// that would raise one is refused.
std::string jpegProblem(FrameCodec codec, const unsigned char* frame, std::size_t size,
                        const FrameExpectation& expected) {
    const std::string what = codec == FrameCodec::JpegLs ? "JPEG-LS" : "JPEG";
    if (size < 4 || frame[0] != 0xff || frame[1] != 0xd8) {
        return "its " + what + " frame does not start as a JPEG stream does";
    }
    bool sawFrameHeader = false;
    std::size_t at = 2;
    while (at + 2 <= size) {
        if (frame[at] != 0xff) {
            return "its " + what + " frame has stray bytes between its markers";
        }
        const unsigned char marker = frame[at + 1];
        if (marker == 0xff) {
            ++at; // fill byte
            continue;
        }
        if (marker == 0x00 || marker == 0x01 || marker == 0xd8 || marker == 0xd9 ||
            (marker >= 0xd0 && marker <= 0xd7) || at + 4 > size) {
            break;
        }
        const std::size_t length = big16(frame + at + 2);
        if (length < 2 || at + 2 + length > size) {
            break;
        }
        const unsigned char* segment = frame + at + 4;
        if (marker == 0xda) {
            return sawFrameHeader ? std::string()
                                  : "its " + what + " frame has no frame header before its scan";
        }
        if (isSof(codec, marker)) {
            const int components = length >= 8 ? segment[5] : 0;
            if (length < 8u + 3u * static_cast<unsigned>(components) || components == 0) {
                break;
            }
            std::string problem = sizeProblem(what.c_str(), big16(segment + 3), big16(segment + 1),
                                              static_cast<std::uint64_t>(components), expected);
            if (problem.empty()) {
                problem = precisionProblem(what.c_str(), segment[0], expected);
            }
            if (!problem.empty()) {
                return problem;
            }
            sawFrameHeader = true;
        } else if (marker == 0xe0 && length >= 2 + 14 && std::memcmp(segment, "JFIF", 5) == 0 &&
                   segment[5] != 1) {
            return "its " + what + " frame has a JFIF header of an unknown version";
        } else if (marker == 0xee && length >= 2 + 12 && std::memcmp(segment, "Adobe", 5) == 0 &&
                   segment[11] > 2) {
            return "its " + what + " frame has an Adobe colour transform of an unknown kind";
        }
        at += 2 + length;
    }
    return "its " + what + " frame's headers are damaged";
}

std::string jpeg2000Problem(const unsigned char* frame, std::size_t size,
                            const FrameExpectation& expected) {
    std::size_t at = 0;
    static constexpr unsigned char signature[] = {0, 0, 0, 0x0c, 'j', 'P', ' ', ' '};
    if (size >= sizeof signature && std::memcmp(frame, signature, sizeof signature) == 0) {
        // A JP2 file: its boxes up to the code stream's.
        bool found = false;
        for (int box = 0; box < 64 && at + 8 <= size && !found; ++box) {
            std::uint64_t length = big32(frame + at);
            std::size_t headerLength = 8;
            if (length == 1) {
                if (at + 16 > size) {
                    break;
                }
                length = (std::uint64_t{big32(frame + at + 8)} << 32) | big32(frame + at + 12);
                headerLength = 16;
            } else if (length == 0) {
                length = size - at;
            }
            if (std::memcmp(frame + at + 4, "jp2c", 4) == 0) {
                found = true;
                at += headerLength;
            } else if (length < headerLength || length > size - at) {
                break;
            } else {
                at += static_cast<std::size_t>(length);
            }
        }
        if (!found) {
            return "its JPEG 2000 frame holds no code stream";
        }
    }
    // The image and tile size (SIZ) follows the start of the code stream.
    if (at + 42 > size || frame[at] != 0xff || frame[at + 1] != 0x4f || frame[at + 2] != 0xff ||
        frame[at + 3] != 0x51) {
        return "its JPEG 2000 frame does not start with a code stream and its image size";
    }
    const unsigned char* siz = frame + at + 4;
    const std::uint32_t length = big16(siz);
    const std::uint32_t components = big16(siz + 36);
    if (components < 1 || length != 38 + 3 * components || at + 4 + length > size) {
        return "its JPEG 2000 frame's image size is damaged";
    }
    const std::uint32_t width = big32(siz + 4);
    const std::uint32_t height = big32(siz + 8);
    const std::uint32_t left = big32(siz + 12);
    const std::uint32_t top = big32(siz + 16);
    if (left >= width || top >= height || big32(siz + 20) == 0 || big32(siz + 24) == 0) {
        return "its JPEG 2000 frame's image size is damaged";
    }
    if (std::string problem =
            sizeProblem("JPEG 2000", width - left, height - top, components, expected);
        !problem.empty()) {
        return problem;
    }
    for (std::uint32_t component = 0; component < components; ++component) {
        const unsigned char* sample = siz + 38 + 3 * component;
        if (sample[1] != 1 || sample[2] != 1) {
            return "its JPEG 2000 frame has subsampled components";
        }
        if (std::string problem = precisionProblem("JPEG 2000", (sample[0] & 0x7f) + 1, expected);
            !problem.empty()) {
            return problem;
        }
    }
    return {};
}

std::string rleProblem(const unsigned char* frame, std::size_t size,
                       const FrameExpectation& expected) {
    if (size < 64) {
        return "its RLE frame is shorter than its header";
    }
    const std::uint32_t segments = little32(frame);
    const std::uint32_t wanted =
        static_cast<std::uint32_t>(expected.samplesPerPixel * (expected.bitsAllocated / 8));
    if (segments != wanted) {
        return "its RLE frame has " + std::to_string(segments) +
               " segments, where its attributes call for " + std::to_string(wanted);
    }
    std::uint64_t previous = 0;
    for (std::uint32_t segment = 0; segment < segments; ++segment) {
        const std::uint32_t offset = little32(frame + 4 + 4 * segment);
        const bool placed = segment == 0 ? offset == 64 : offset > previous;
        if (!placed || offset >= size) {
            return "its RLE frame's segment offsets are damaged";
        }
        previous = offset;
    }
    return {};
}

} // namespace

std::string printableText(const std::string& text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            shown += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7f) {
            shown += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            shown += escape;
        }
    }
    return shown;
}

std::string unplayableSyntaxReason(const std::string& uid) {
    gdcm::UIDs known;
    std::string name;
    if (known.SetFromUID(uid.c_str()) && known.GetName() != nullptr) {
        name = known.GetName();
    }
    return "its transfer syntax " +
           (name.empty() ? printableText(uid) + " (unknown)"
                         : "\"" + name + "\" (" + printableText(uid) + ")") +
           " is not one whose frames can be decoded here";
}

std::string codecStreamProblem(FrameCodec codec, const unsigned char* frame, std::size_t size,
                               const FrameExpectation& expected) {
    switch (codec) {
    case FrameCodec::Jpeg:
    case FrameCodec::JpegLs:
        return jpegProblem(codec, frame, size, expected);
    case FrameCodec::Jpeg2000:
        return jpeg2000Problem(frame, size, expected);
    case FrameCodec::Rle:
        return rleProblem(frame, size, expected);
    }
    return {};
}

// The deflated data set, inflated as far as it is needed.
struct DicomPreflight::Inflation {
    std::ifstream file;
    z_stream stream{};
    bool started = false;
    bool streamEnded = false;
    bool fileEnded = false;
    std::vector<unsigned char> input = std::vector<unsigned char>(std::size_t{1} << 18);

    ~Inflation() {
        if (started) {
            inflateEnd(&stream);
        }
    }

    // The file is read to its end and all of it given to zlib.
    bool inputGone() const { return fileEnded && stream.avail_in == 0; }

    bool start(const std::string& fileName, std::uint64_t from) {
        file.open(fileName, std::ios::binary);
        file.seekg(static_cast<std::streamoff>(from));
        unsigned char head[2] = {0, 0};
        file.read(reinterpret_cast<char*>(head), 2);
        const bool readHead = file.gcount() == 2;
        file.clear();
        file.seekg(static_cast<std::streamoff>(from));
        // PS3.5 asks for raw deflate; a few writers put zlib's header before it.
        const bool zlibHeader = readHead && (head[0] & 0x0f) == 8 && (head[0] >> 4) <= 7 &&
                                ((head[0] << 8) | head[1]) % 31 == 0;
        started = inflateInit2(&stream, zlibHeader ? 15 : -15) == Z_OK;
        return started && static_cast<bool>(file);
    }

    // Inflates onto the end of `out` until it holds `target` bytes or the
    // stream ends. False if the stream is damaged.
    bool inflateTo(std::vector<char>& out, std::uint64_t target) {
        while (out.size() < target && !streamEnded) {
            if (stream.avail_in == 0 && !fileEnded) {
                file.read(reinterpret_cast<char*>(input.data()),
                          static_cast<std::streamsize>(input.size()));
                const auto got = static_cast<uInt>(file.gcount());
                fileEnded = got == 0 || !file;
                stream.next_in = input.data();
                stream.avail_in = got;
            }
            if (stream.avail_in == 0 && fileEnded) {
                return true; // cut short: what there is stands
            }
            const std::size_t have = out.size();
            const std::size_t grow = static_cast<std::size_t>(std::min<std::uint64_t>(
                target - have, std::clamp<std::uint64_t>(have, 1 << 16, 1 << 24)));
            out.resize(have + grow);
            stream.next_out = reinterpret_cast<Bytef*>(out.data() + have);
            stream.avail_out = static_cast<uInt>(grow);
            const int result = inflate(&stream, Z_NO_FLUSH);
            out.resize(have + grow - stream.avail_out);
            if (result == Z_STREAM_END) {
                streamEnded = true;
            } else if (result != Z_OK && result != Z_BUF_ERROR) {
                return false;
            }
        }
        return true;
    }
};

DicomPreflight::DicomPreflight() = default;
DicomPreflight::~DicomPreflight() = default;

std::optional<std::string> DicomPreflight::examine(const std::string& fileName,
                                                   const DicomLimits& limits) {
    bytes.clear();
    pixels.reset();
    inflation.reset();
    syntaxUid.clear();
    std::ifstream file(fileName, std::ios::binary | std::ios::ate);
    if (!file) {
        return "the file cannot be read";
    }
    const auto fileSize = static_cast<std::uint64_t>(file.tellg());
    FileBytes source(file, fileSize);

    // The meta information: after the preamble and "DICM", or at the start.
    std::uint64_t at = 0;
    char mark[4] = {};
    if (fileSize >= 132 && source.read(128, mark, 4) && std::memcmp(mark, "DICM", 4) == 0) {
        at = 132;
    }
    std::vector<std::pair<std::uint32_t, std::string>> meta;
    bool hasSyntax = false;
    while (at + 4 <= fileSize) {
        unsigned char raw[12];
        if (!source.read(at, raw, 4) || little16(raw) != 0x0002) {
            break;
        }
        bool longLength = false;
        if (at + 8 > fileSize || !source.read(at, raw, 8) || !knownVr(raw[4], raw[5], longLength)) {
            return std::string("its meta information is damaged");
        }
        std::uint64_t length = little16(raw + 6);
        std::uint64_t valueStart = at + 8;
        if (longLength) {
            if (at + 12 > fileSize || !source.read(at + 8, raw + 8, 4)) {
                return std::string("its meta information is damaged");
            }
            length = little32(raw + 8);
            valueStart = at + 12;
        }
        if (length > (1u << 20) || valueStart + length > fileSize || meta.size() > 1000) {
            return std::string("its meta information is damaged");
        }
        const std::uint32_t tag = tagOf(little16(raw), little16(raw + 2));
        std::string element(static_cast<std::size_t>(valueStart + length - at), '\0');
        source.read(at, element.data(), element.size());
        if (tag == syntaxTag) {
            syntaxUid = trimmedUid(element.substr(static_cast<std::size_t>(valueStart - at)));
            hasSyntax = true;
        }
        if (tag != groupLengthTag) {
            meta.emplace_back(tag, std::move(element));
        }
        at = valueStart + length;
    }
    const std::uint64_t dataSetStart = at;

    if (!hasSyntax) {
        // No meta information to say it: explicit VR if the first element has one.
        unsigned char head[6];
        bool longLength = false;
        const bool explicitVr = dataSetStart + 6 <= fileSize &&
                                source.read(dataSetStart, head, 6) &&
                                knownVr(head[4], head[5], longLength);
        syntaxUid = std::string(explicitVr ? explicitLittleUid : implicitLittleUid);
    }
    if (syntaxUid == implicitLittleUid) {
        dataSetEncoding = DicomEncoding::ImplicitLittle;
    } else if (syntaxUid == explicitLittleUid) {
        dataSetEncoding = DicomEncoding::ExplicitLittle;
    } else if (syntaxUid == deflatedUid) {
        dataSetEncoding = DicomEncoding::Deflated;
    } else if (syntaxUid == explicitBigUid) {
        return unplayableSyntaxReason(syntaxUid);
    } else {
        dataSetEncoding = DicomEncoding::Encapsulated;
    }

    // The preamble and the meta information as GDCM is to read them: the
    // transfer syntax is that of the data set as it will be parsed.
    std::string parsedSyntax =
        dataSetEncoding == DicomEncoding::Deflated ? std::string(explicitLittleUid) : syntaxUid;
    if (parsedSyntax.size() % 2 != 0) {
        parsedSyntax += '\0';
    }
    std::erase_if(meta, [](const auto& element) { return element.first == syntaxTag; });
    meta.emplace_back(syntaxTag, metaElement(syntaxTag, "UI", parsedSyntax));
    std::stable_sort(meta.begin(), meta.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::uint32_t metaLength = 0;
    for (const auto& element : meta) {
        metaLength += static_cast<std::uint32_t>(element.second.size());
    }
    bytes.assign(128, '\0');
    bytes.insert(bytes.end(), {'D', 'I', 'C', 'M'});
    std::string groupLength(4, '\0');
    for (int byte = 0; byte < 4; ++byte) {
        groupLength[static_cast<std::size_t>(byte)] = static_cast<char>(metaLength >> (8 * byte));
    }
    const std::string lengthElement = metaElement(groupLengthTag, "UL", groupLength);
    bytes.insert(bytes.end(), lengthElement.begin(), lengthElement.end());
    for (const auto& element : meta) {
        bytes.insert(bytes.end(), element.second.begin(), element.second.end());
    }

    metaEnd = bytes.size();
    if (dataSetEncoding == DicomEncoding::Deflated) {
        file.close();
        inflation = std::make_unique<Inflation>();
        if (!inflation->start(fileName, dataSetStart)) {
            return std::string("the file cannot be read");
        }
        return examineDeflated(dataSetStart, limits);
    }

    Walker walker(source, limits, false);
    walker.walkDataSet(dataSetStart, dataSetEncoding != DicomEncoding::ImplicitLittle);
    if (walker.problem) {
        return walker.problem;
    }
    pixels = std::move(walker.pixelData);
    const std::uint64_t attributesStop = pixels ? walker.pixelElementStart : fileSize;
    const std::uint64_t attributeLength = attributesStop - dataSetStart;
    const std::size_t prefix = bytes.size();
    bytes.resize(prefix + static_cast<std::size_t>(attributeLength));
    if (attributeLength > 0 && !source.read(dataSetStart, bytes.data() + prefix,
                                            static_cast<std::size_t>(attributeLength))) {
        return std::string("the file cannot be read");
    }
    attributesEnd = bytes.size();
    return std::nullopt;
}

std::optional<std::string> DicomPreflight::examineDeflated(std::uint64_t,
                                                           const DicomLimits& limits) {
    const std::size_t dataSetStart = bytes.size();
    // Room for the attributes and the pixel data's element header.
    const std::uint64_t attributeRoom = dataSetStart + limits.largestAttributes + 16;
    while (true) {
        const std::uint64_t target = std::min<std::uint64_t>(
            std::max<std::uint64_t>(bytes.size() * 2, dataSetStart + (1 << 16)), attributeRoom);
        if (!inflation->inflateTo(bytes, target)) {
            return std::string("its deflated data set is damaged (it cannot be inflated)");
        }
        const bool complete = inflation->streamEnded || inflation->inputGone();
        MemoryBytes source(bytes);
        Walker walker(source, limits, !complete);
        // The pixel data are inflated later, as far as the frames need them.
        walker.walkPixelFragments = false;
        walker.walkDataSet(dataSetStart, true);
        if (walker.problem) {
            return walker.problem;
        }
        if (!walker.ranOut) {
            if (inflation->inputGone() && !inflation->streamEnded && !walker.pixelData) {
                return std::string("its deflated data set is cut short");
            }
            pixels = std::move(walker.pixelData);
            attributesEnd =
                pixels ? static_cast<std::size_t>(walker.pixelElementStart) : bytes.size();
            return std::nullopt;
        }
        if (complete) {
            return std::string("its deflated data set is cut short");
        }
        if (bytes.size() >= attributeRoom) {
            return "its attributes take more than " + mebibytes(limits.largestAttributes);
        }
    }
}

std::uint64_t DicomPreflight::inflatePixelData(std::uint64_t wanted) {
    if (!inflation || !pixels || pixels->encapsulated()) {
        return 0;
    }
    const std::uint64_t target =
        pixels->valueStart + std::min<std::uint64_t>(wanted, pixels->length);
    if (bytes.size() < target) {
        bytes.reserve(static_cast<std::size_t>(target));
        if (!inflation->inflateTo(bytes, target)) {
            bytes.resize(
                std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(pixels->valueStart)));
        }
    }
    if (bytes.size() > target) {
        bytes.resize(static_cast<std::size_t>(target));
    }
    return bytes.size() > pixels->valueStart ? bytes.size() - pixels->valueStart : 0;
}

std::vector<char> DicomPreflight::takeInflatedBytes() {
    inflation.reset();
    return std::move(bytes);
}

bool DicomPreflight::parseAttributes(gdcm::Reader& reader) const {
    // GDCM asserts on a stream that ends right after the meta information.
    if (attributesEnd <= metaEnd) {
        return false;
    }
    MemoryStreamBuffer buffer(bytes.data(), attributesEnd);
    std::istream stream(&buffer);
    reader.SetStream(stream);
    try {
        return reader.Read();
    } catch (...) {
        return false;
    }
}
