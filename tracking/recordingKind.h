// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

// What the first bytes of a file say it is, whatever its name. Each takes as
// many bytes as the file has, up to 512.

// A DICOM data set written without the preamble and its "DICM" mark: its first
// element is one of the file meta information (group 0x0002) or of the
// identifying attributes (group 0x0008), with a value representation and a
// length that such an element can have, in explicit or implicit little endian.
// Zeros, text and the header of another format are not.
bool startsAsDicomDataSet(std::string_view head);

// A still image of a format that image sequences come in: PNG, JPEG, TIFF or BMP.
bool startsAsStillImage(std::string_view head);
