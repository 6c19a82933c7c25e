// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/dicomAttributes.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <gdcmDataSet.h>
#include <gdcmDict.h>
#include <gdcmDicts.h>
#include <gdcmGlobal.h>

namespace {

gdcm::VR vrOf(const gdcm::DataElement& element) {
    const gdcm::VR given = element.GetVR();
    if (given != gdcm::VR::INVALID && given != gdcm::VR::UN) {
        return given;
    }
    return gdcm::Global::GetInstance().GetDicts().GetDictEntry(element.GetTag()).GetVR();
}

template <typename Value>
void appendBinary(const char* bytes, std::size_t length, std::vector<double>& values) {
    for (std::size_t at = 0; at + sizeof(Value) <= length; at += sizeof(Value)) {
        Value value{};
        std::memcpy(&value, bytes + at, sizeof(Value));
        values.push_back(static_cast<double>(value));
    }
}

// Decimal and integer strings, values separated by '\'.
void appendText(const std::string& text, std::vector<double>& values) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\\', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string part = text.substr(start, end - start);
        const auto first = part.find_first_not_of(" \t");
        const auto last = part.find_last_not_of(" \t\0");
        if (first != std::string::npos) {
            part = part.substr(first, last - first + 1);
            if (!part.empty() && part.front() == '+') {
                part.erase(0, 1);
            }
            double value = 0.0;
            const auto result = std::from_chars(part.data(), part.data() + part.size(), value);
            if (result.ec != std::errc() || result.ptr != part.data() + part.size() ||
                !std::isfinite(value)) {
                values.clear();
                return;
            }
            values.push_back(value);
        }
        start = end + 1;
    }
}

} // namespace

std::string textOf(const gdcm::DataSet& dataSet, const gdcm::Tag& tag) {
    if (!dataSet.FindDataElement(tag)) {
        return {};
    }
    const gdcm::ByteValue* bytes = dataSet.GetDataElement(tag).GetByteValue();
    if (bytes == nullptr || bytes->GetPointer() == nullptr) {
        return {};
    }
    std::string text(bytes->GetPointer(), bytes->GetLength());
    const auto end = text.find_last_not_of(std::string(" \0", 2));
    text.erase(end == std::string::npos ? 0 : end + 1);
    const auto start = text.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : text.substr(start);
}

std::vector<double> numbersOf(const gdcm::DataSet& dataSet, const gdcm::Tag& tag,
                              bool signedSamples) {
    std::vector<double> values;
    if (!dataSet.FindDataElement(tag)) {
        return values;
    }
    const gdcm::DataElement& element = dataSet.GetDataElement(tag);
    const gdcm::ByteValue* bytes = element.GetByteValue();
    if (bytes == nullptr || bytes->GetPointer() == nullptr) {
        return values;
    }
    const char* data = bytes->GetPointer();
    const std::size_t length = bytes->GetLength();
    const gdcm::VR vr = vrOf(element);
    if (vr == gdcm::VR::DS || vr == gdcm::VR::IS) {
        appendText(std::string(data, length), values);
    } else if (vr == gdcm::VR::FD) {
        appendBinary<double>(data, length, values);
    } else if (vr == gdcm::VR::FL) {
        appendBinary<float>(data, length, values);
    } else if (vr == gdcm::VR::UL) {
        appendBinary<std::uint32_t>(data, length, values);
    } else if (vr == gdcm::VR::SL) {
        appendBinary<std::int32_t>(data, length, values);
    } else if (vr == gdcm::VR::SS || (vr == gdcm::VR::US_SS && signedSamples)) {
        appendBinary<std::int16_t>(data, length, values);
    } else if (vr == gdcm::VR::US || vr == gdcm::VR::US_SS) {
        appendBinary<std::uint16_t>(data, length, values);
    }
    for (double value : values) {
        if (!std::isfinite(value)) {
            return {};
        }
    }
    return values;
}

std::optional<double> numberOf(const gdcm::DataSet& dataSet, const gdcm::Tag& tag,
                               bool signedSamples) {
    const std::vector<double> values = numbersOf(dataSet, tag, signedSamples);
    if (values.empty()) {
        return std::nullopt;
    }
    return values.front();
}
