// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// DICOM bytes put together by hand, for files that no writer would make: a
// length that lies, an unknown value representation, a deep nesting, a
// deflated stream that holds more than its header says.
namespace rawdicom {

constexpr std::uint32_t undefinedLength = 0xffffffffu;
constexpr std::string_view explicitLittle = "1.2.840.10008.1.2.1";
constexpr std::string_view deflated = "1.2.840.10008.1.2.1.99";

std::string little16(std::uint16_t value);
std::string little32(std::uint32_t value);

// An explicit-VR element's header, its length as given.
std::string header(std::uint16_t group, std::uint16_t element, std::string_view vr,
                   std::uint32_t length);
// An explicit-VR element; text values are padded to an even length.
std::string element(std::uint16_t group, std::uint16_t element, std::string_view vr,
                    std::string value);
std::string unsignedShort(std::uint16_t group, std::uint16_t element, std::uint16_t value);
// Item and delimiter headers.
std::string item(std::uint32_t length);
std::string itemEnd();
std::string sequenceEnd();

// The attributes of 8-bit grey frames, up to the pixel data.
std::string greyImage(int rows, int columns, int frames);

// The preamble, "DICM" and meta information naming `transferSyntax`, then
// `dataSet` as it is.
std::string file(std::string_view transferSyntax, const std::string& dataSet);
// Raw deflate (RFC 1951), as a deflated data set is stored; with zlib's
// header and checksum (RFC 1950) where `zlibHeader`, as a few writers do.
std::string deflate(const std::string& bytes, bool zlibHeader = false);

} // namespace rawdicom
