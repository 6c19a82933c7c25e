// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/syntheticDicom.h"

#include <gdcmAttribute.h>
#include <gdcmDataSet.h>
#include <gdcmDicts.h>
#include <gdcmGlobal.h>
#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmImageWriter.h>
#include <gdcmReader.h>
#include <gdcmSequenceOfItems.h>
#include <gdcmTrace.h>
#include <gdcmWriter.h>
#include <opencv2/imgproc.hpp>

namespace syntheticdicom {

namespace {

gdcm::TransferSyntax transferSyntaxOf(Encoding encoding) {
    switch (encoding) {
    case Encoding::ImplicitLittle:
        return gdcm::TransferSyntax::ImplicitVRLittleEndian;
    case Encoding::ExplicitLittle:
        return gdcm::TransferSyntax::ExplicitVRLittleEndian;
    case Encoding::Deflated:
        return gdcm::TransferSyntax::DeflatedExplicitVRLittleEndian;
    case Encoding::Rle:
        return gdcm::TransferSyntax::RLELossless;
    case Encoding::JpegBaseline:
        return gdcm::TransferSyntax::JPEGBaselineProcess1;
    case Encoding::JpegLossless:
        return gdcm::TransferSyntax::JPEGLosslessProcess14_1;
    case Encoding::JpegLs:
        return gdcm::TransferSyntax::JPEGLSLossless;
    case Encoding::Jpeg2000Lossless:
        return gdcm::TransferSyntax::JPEG2000Lossless;
    }
    return gdcm::TransferSyntax::ExplicitVRLittleEndian;
}

bool isCompressed(Encoding encoding) {
    return encoding != Encoding::ImplicitLittle && encoding != Encoding::ExplicitLittle &&
           encoding != Encoding::Deflated;
}

// The frames' pixels one after another, as the pixel data stores them.
std::vector<char> storedBytes(const std::vector<cv::Mat>& frames, const DicomSpec& spec) {
    std::vector<char> bytes;
    for (const cv::Mat& frame : frames) {
        cv::Mat stored = frame;
        if (frame.channels() == 3) {
            if (spec.photometric == "YBR_FULL") {
                // DICOM's YBR_FULL is JPEG's YCbCr; OpenCV's order is Y, Cr, Cb.
                cv::Mat ycrcb;
                cv::cvtColor(frame, ycrcb, cv::COLOR_BGR2YCrCb);
                cv::Mat planes[3];
                cv::split(ycrcb, planes);
                std::swap(planes[1], planes[2]);
                cv::merge(planes, 3, stored);
            } else {
                cv::cvtColor(frame, stored, cv::COLOR_BGR2RGB);
            }
        }
        stored = stored.isContinuous() ? stored : stored.clone();
        const auto* data = reinterpret_cast<const char*>(stored.data);
        bytes.insert(bytes.end(), data, data + stored.total() * stored.elemSize());
    }
    return bytes;
}

// The palette's descriptors and 16-bit tables, as Supplemental Palette Color
// Lookup Tables are written.
void setPalette(gdcm::DataSet& dataSet, const std::vector<cv::Vec3w>& palette) {
    for (std::uint16_t channel = 0; channel < 3; ++channel) {
        const std::uint16_t descriptor[3] = {static_cast<std::uint16_t>(palette.size()), 0, 16};
        gdcm::DataElement described(
            gdcm::Tag(0x0028, static_cast<std::uint16_t>(0x1101 + channel)));
        described.SetVR(gdcm::VR::US);
        described.SetByteValue(reinterpret_cast<const char*>(descriptor), sizeof descriptor);
        dataSet.Replace(described);
        std::vector<std::uint16_t> values;
        for (const cv::Vec3w& entry : palette) {
            values.push_back(entry[channel]);
        }
        gdcm::DataElement table(gdcm::Tag(0x0028, static_cast<std::uint16_t>(0x1201 + channel)));
        table.SetVR(gdcm::VR::OW);
        table.SetByteValue(reinterpret_cast<const char*>(values.data()),
                           static_cast<std::uint32_t>(values.size() * 2));
        dataSet.Replace(table);
    }
}

} // namespace

void setText(gdcm::DataSet& dataSet, unsigned short group, unsigned short element,
             const std::string& value) {
    const gdcm::Tag tag(group, element);
    gdcm::DataElement attribute(tag);
    const gdcm::VR vr = gdcm::Global::GetInstance().GetDicts().GetDictEntry(tag).GetVR();
    attribute.SetVR(vr);
    std::string padded = value;
    if (padded.size() % 2 != 0) {
        padded += vr == gdcm::VR::UI ? '\0' : ' ';
    }
    attribute.SetByteValue(padded.data(), static_cast<std::uint32_t>(padded.size()));
    dataSet.Replace(attribute);
}

void addUltrasoundRegions(gdcm::DataSet& dataSet, const std::vector<UltrasoundRegion>& regions) {
    gdcm::SmartPointer<gdcm::SequenceOfItems> sequence = new gdcm::SequenceOfItems;
    sequence->SetLengthToUndefined();
    for (const UltrasoundRegion& region : regions) {
        gdcm::Item item;
        item.SetVLToUndefined();
        gdcm::DataSet& nested = item.GetNestedDataSet();
        nested.Insert(
            gdcm::Attribute<0x0018, 0x6018>{static_cast<unsigned>(region.x0)}.GetAsDataElement());
        nested.Insert(
            gdcm::Attribute<0x0018, 0x601a>{static_cast<unsigned>(region.y0)}.GetAsDataElement());
        nested.Insert(
            gdcm::Attribute<0x0018, 0x601c>{static_cast<unsigned>(region.x1)}.GetAsDataElement());
        nested.Insert(
            gdcm::Attribute<0x0018, 0x601e>{static_cast<unsigned>(region.y1)}.GetAsDataElement());
        nested.Insert(gdcm::Attribute<0x0018, 0x6024>{region.unitsX}.GetAsDataElement());
        nested.Insert(gdcm::Attribute<0x0018, 0x6026>{region.unitsY}.GetAsDataElement());
        nested.Insert(gdcm::Attribute<0x0018, 0x602c>{region.deltaXcm}.GetAsDataElement());
        nested.Insert(gdcm::Attribute<0x0018, 0x602e>{region.deltaYcm}.GetAsDataElement());
        sequence->AddItem(item);
    }
    gdcm::DataElement attribute(gdcm::Tag(0x0018, 0x6011));
    attribute.SetVR(gdcm::VR::SQ);
    attribute.SetValue(*sequence);
    attribute.SetVLToUndefined();
    dataSet.Replace(attribute);
}

bool writeDicom(const std::filesystem::path& path, const std::vector<cv::Mat>& frames,
                const DicomSpec& spec) {
    if (frames.empty()) {
        return false;
    }
    gdcm::Trace::SetWarning(false);
    const cv::Mat& first = frames.front();
    const int bitsAllocated = first.depth() == CV_16U ? 16 : 8;
    const int samples = first.channels();
    const int bitsStored = spec.bitsStored > 0 ? spec.bitsStored : bitsAllocated;

    gdcm::SmartPointer<gdcm::Image> image = new gdcm::Image;
    image->SetNumberOfDimensions(3);
    const unsigned dimensions[3] = {static_cast<unsigned>(first.cols),
                                    static_cast<unsigned>(first.rows),
                                    static_cast<unsigned>(frames.size())};
    image->SetDimensions(dimensions);
    image->SetPixelFormat(gdcm::PixelFormat(
        static_cast<unsigned short>(samples), static_cast<unsigned short>(bitsAllocated),
        static_cast<unsigned short>(bitsStored), static_cast<unsigned short>(bitsStored - 1), 0));
    // GDCM's image writer wants a palette of its own making: a palette file is
    // written grey, then its interpretation and tables are replaced.
    const bool palette = spec.photometric == "PALETTE COLOR";
    // GDCM knows the names padded to an even length, as files store them.
    std::string interpretation = palette ? "MONOCHROME2" : spec.photometric;
    if (interpretation.size() % 2 != 0) {
        interpretation += ' ';
    }
    image->SetPhotometricInterpretation(
        gdcm::PhotometricInterpretation::GetPIType(interpretation.c_str()));
    image->SetPlanarConfiguration(0);
    const gdcm::TransferSyntax target = transferSyntaxOf(spec.encoding);
    image->SetTransferSyntax(
        isCompressed(spec.encoding)
            ? gdcm::TransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian)
            : target);
    const std::vector<char> bytes = storedBytes(frames, spec);
    gdcm::DataElement pixels(gdcm::Tag(0x7fe0, 0x0010));
    pixels.SetVR(bitsAllocated == 16 ? gdcm::VR::OW : gdcm::VR::OB);
    pixels.SetByteValue(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    image->SetDataElement(pixels);

    gdcm::ImageWriter writer;
    if (isCompressed(spec.encoding)) {
        gdcm::ImageChangeTransferSyntax change;
        change.SetTransferSyntax(target);
        change.SetInput(*image);
        if (!change.Change()) {
            return false;
        }
        // The writer keeps a reference to the image it writes.
        gdcm::SmartPointer<gdcm::Image> compressed = new gdcm::Image(change.GetOutput());
        // GDCM's JPEG encoder turns colour into YCbCr and leaves the
        // interpretation RGB; what the frames hold is YBR_FULL_422.
        if (spec.encoding == Encoding::JpegBaseline && samples == 3) {
            compressed->SetPhotometricInterpretation(gdcm::PhotometricInterpretation::YBR_FULL_422);
        }
        writer.SetImage(*compressed);
    } else {
        writer.SetImage(*image);
    }
    gdcm::DataSet& dataSet = writer.GetFile().GetDataSet();
    setText(dataSet, 0x0008, 0x0016, spec.sopClassUid);
    setText(dataSet, 0x0008, 0x0060, "US");
    writer.SetFileName(path.c_str());
    if (!writer.Write()) {
        return false;
    }
    if (!palette && !spec.addAttributes) {
        return true;
    }
    // The image writer writes the image's own spacing into a Sequence of
    // Ultrasound Regions, so the attributes are added afterwards, as they are.
    return rewriteAttributes(path, [&spec, palette](gdcm::DataSet& written, gdcm::DataSet&) {
        if (palette) {
            setText(written, 0x0028, 0x0004, "PALETTE COLOR");
            setPalette(written, spec.palette);
        }
        if (spec.addAttributes) {
            spec.addAttributes(written);
        }
    });
}

bool rewriteAttributes(
    const std::filesystem::path& path,
    const std::function<void(gdcm::DataSet& data, gdcm::DataSet& meta)>& change) {
    gdcm::Reader reader;
    reader.SetFileName(path.c_str());
    if (!reader.Read()) {
        return false;
    }
    change(reader.GetFile().GetDataSet(), reader.GetFile().GetHeader());
    gdcm::Writer writer;
    writer.SetFile(reader.GetFile());
    writer.SetFileName(path.c_str());
    return writer.Write();
}

bool writeDicomWithoutImage(const std::filesystem::path& path, const std::string& sopClassUid) {
    gdcm::Writer writer;
    gdcm::DataSet& data = writer.GetFile().GetDataSet();
    setText(data, 0x0008, 0x0016, sopClassUid);
    setText(data, 0x0008, 0x0018, "1.2.826.0.1.3680043.9.7433.1.1");
    setText(data, 0x0010, 0x0010, "Synthetic^Patient");
    gdcm::FileMetaInformation& meta = writer.GetFile().GetHeader();
    meta.SetDataSetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    setText(meta, 0x0002, 0x0002, sopClassUid);
    setText(meta, 0x0002, 0x0003, "1.2.826.0.1.3680043.9.7433.1.1");
    meta.FillFromDataSet(data);
    writer.SetFileName(path.c_str());
    return writer.Write();
}

} // namespace syntheticdicom
