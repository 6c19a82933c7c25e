// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <memory>
#include <opencv2/core.hpp>

// Converts an 8-bit image of one channel (grey) or three channels (blue, green,
// red) into the 32-bit RGB pixels behind `image`. The pixel buffer is allocated
// on the first call from the size of `source` and reused by every later call;
// `image` refers to it without copying. The fourth byte of every pixel is 0xFF,
// as QImage::Format_RGB32 expects.
void convertToRgb32(const cv::Mat& source, std::unique_ptr<uchar[]>& buffer, QImage& image);
