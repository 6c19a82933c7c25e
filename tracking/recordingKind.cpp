// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/recordingKind.h"

#include <array>
#include <cstdint>

namespace {

std::uint32_t littleEndian(std::string_view bytes, std::size_t at, std::size_t length) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < length; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

// The value representations whose length takes four bytes after two reserved
// ones, and those whose length takes two.
constexpr std::array<std::string_view, 13> longRepresentations{
    "OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
constexpr std::array<std::string_view, 21> shortRepresentations{
    "AE", "AS", "AT", "CS", "DA", "DS", "DT", "FL", "FD", "IS", "LO",
    "LT", "PN", "SH", "SL", "SS", "ST", "TM", "UI", "UL", "US"};

template <std::size_t N>
bool oneOf(std::string_view value, const std::array<std::string_view, N>& list) {
    for (std::string_view entry : list) {
        if (entry == value) {
            return true;
        }
    }
    return false;
}

constexpr std::uint32_t undefinedLength = 0xffffffff;
// The elements at the start of a data set are short (a group length, a version,
// UIDs, a character set); their values are never near this long.
constexpr std::uint32_t longestFirstValue = 1024;

bool plausibleLength(std::uint32_t length, bool sequence) {
    return (length <= longestFirstValue && length % 2 == 0) ||
           (sequence && length == undefinedLength);
}

} // namespace

bool startsAsDicomDataSet(std::string_view head) {
    if (head.size() < 12) {
        return false;
    }
    const std::uint32_t group = littleEndian(head, 0, 2);
    if (group != 0x0002 && group != 0x0008) {
        return false;
    }
    const std::string_view representation = head.substr(4, 2);
    if (oneOf(representation, longRepresentations)) {
        const bool sequence = representation == "SQ" || representation == "UN";
        return littleEndian(head, 6, 2) == 0 && plausibleLength(littleEndian(head, 8, 4), sequence);
    }
    if (oneOf(representation, shortRepresentations)) {
        return plausibleLength(littleEndian(head, 6, 2), false);
    }
    // Implicit little endian: a four-byte length after the tag.
    return plausibleLength(littleEndian(head, 4, 4), true);
}

bool startsAsStillImage(std::string_view head) {
    const auto startsWith = [head](std::string_view mark) {
        return head.substr(0, mark.size()) == mark;
    };
    using namespace std::string_view_literals;
    return startsWith("\x89PNG\r\n\x1a\n"sv) || startsWith("\xff\xd8\xff"sv) ||
           startsWith("II*\0"sv) || startsWith("MM\0*"sv) || startsWith("BM"sv);
}
