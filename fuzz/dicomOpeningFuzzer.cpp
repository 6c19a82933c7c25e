// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer over what a DICOM file meets when it is opened: the recognition,
// the pre-flight, GDCM's parse of the attributes, the recording's timing and
// calibration, and the decoding of its frames. The readers take file names,
// so each input is written to a private file first.
#include "tracking/dicomReader.h"
#include "tracking/recordingInfo.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string inputPath;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    inputPath = (std::filesystem::temp_directory_path() /
                 ("tessavolant-fuzz-" + std::to_string(getpid()) + ".dcm"))
                    .string();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream file(inputPath, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    if (isDicomFile(inputPath)) {
        (void)readRecordingInfo(inputPath);
    }
    DicomReader reader;
    if (reader.openLoop(inputPath)) {
        // The first frames, then the last one after a seek.
        cv::Mat frame;
        for (int index = 0; index < 3 && reader.read(frame); ++index) {
        }
        reader.seek(reader.frameCount() - 1);
        reader.read(frame);
    }
    return 0;
}
