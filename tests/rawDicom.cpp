// SPDX-License-Identifier: GPL-3.0-or-later
#include "rawDicom.h"

#include <zlib.h>

namespace rawdicom {

namespace {

bool longLength(std::string_view vr) {
    for (std::string_view name :
         {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"}) {
        if (vr == name) {
            return true;
        }
    }
    return false;
}

} // namespace

std::string little16(std::uint16_t value) {
    return {static_cast<char>(value & 0xff), static_cast<char>(value >> 8)};
}

std::string little32(std::uint32_t value) {
    return little16(static_cast<std::uint16_t>(value & 0xffff)) +
           little16(static_cast<std::uint16_t>(value >> 16));
}

std::string header(std::uint16_t group, std::uint16_t element, std::string_view vr,
                   std::uint32_t length) {
    std::string bytes = little16(group) + little16(element) + std::string(vr);
    if (longLength(vr)) {
        return bytes + little16(0) + little32(length);
    }
    return bytes + little16(static_cast<std::uint16_t>(length));
}

std::string element(std::uint16_t group, std::uint16_t element, std::string_view vr,
                    std::string value) {
    if (value.size() % 2 != 0) {
        value += vr == "UI" || vr == "OB" ? '\0' : ' ';
    }
    return header(group, element, vr, static_cast<std::uint32_t>(value.size())) + value;
}

std::string unsignedShort(std::uint16_t group, std::uint16_t element, std::uint16_t value) {
    return rawdicom::element(group, element, "US", little16(value));
}

std::string item(std::uint32_t length) {
    return little16(0xfffe) + little16(0xe000) + little32(length);
}

std::string itemEnd() {
    return little16(0xfffe) + little16(0xe00d) + little32(0);
}

std::string sequenceEnd() {
    return little16(0xfffe) + little16(0xe0dd) + little32(0);
}

std::string greyImage(int rows, int columns, int frames) {
    return element(0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.3.1") +
           unsignedShort(0x0028, 0x0002, 1) + element(0x0028, 0x0004, "CS", "MONOCHROME2") +
           element(0x0028, 0x0008, "IS", std::to_string(frames)) +
           unsignedShort(0x0028, 0x0010, static_cast<std::uint16_t>(rows)) +
           unsignedShort(0x0028, 0x0011, static_cast<std::uint16_t>(columns)) +
           unsignedShort(0x0028, 0x0100, 8) + unsignedShort(0x0028, 0x0101, 8) +
           unsignedShort(0x0028, 0x0102, 7) + unsignedShort(0x0028, 0x0103, 0);
}

std::string file(std::string_view transferSyntax, const std::string& dataSet) {
    const std::string meta = element(0x0002, 0x0001, "OB", std::string("\0\1", 2)) +
                             element(0x0002, 0x0010, "UI", std::string(transferSyntax));
    return std::string(128, '\0') + "DICM" +
           element(0x0002, 0x0000, "UL", little32(static_cast<std::uint32_t>(meta.size()))) + meta +
           dataSet;
}

std::string deflate(const std::string& bytes, bool zlibHeader) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, zlibHeader ? 15 : -15, 9,
                 Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    ::deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

} // namespace rawdicom
