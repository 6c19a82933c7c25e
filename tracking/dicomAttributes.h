// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace gdcm {
class DataSet;
class Tag;
} // namespace gdcm

// The values of a DICOM data set's attributes, whatever their encoding: text
// (DS, IS, CS, ...) and binary (US, SS, UL, FD, FL) numbers alike, by the
// dictionary's value representation where the file gives none (implicit VR).

// The text of an attribute without its padding; empty if it is absent.
std::string textOf(const gdcm::DataSet& dataSet, const gdcm::Tag& tag);
// Every value of a numeric attribute, in order; empty if it is absent or is
// no number. US or SS attributes are read as signed where `signedSamples`.
std::vector<double> numbersOf(const gdcm::DataSet& dataSet, const gdcm::Tag& tag,
                              bool signedSamples = false);
// The first value of a numeric attribute.
std::optional<double> numberOf(const gdcm::DataSet& dataSet, const gdcm::Tag& tag,
                               bool signedSamples = false);
