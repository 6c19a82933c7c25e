// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "log/ticks.h"
#include "tests/testSupport.h"
#include "tracking/VideoImage.h"
#include "tracking/viewRendering.h"

#include <QGraphicsPixmapItem>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <opencv2/videoio.hpp>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Pixels of `image` whose colour differs from the blue-green-red (or grey)
// pixel at the same place in `source`, or whose fourth byte is not 0xFF.
int mismatches(const QImage& shown, const cv::Mat& source) {
    const QImage image = shown.format() == QImage::Format_RGB32
                             ? shown
                             : shown.convertToFormat(QImage::Format_RGB32);
    if (image.width() != source.cols || image.height() != source.rows) {
        return -1;
    }
    int wrong = 0;
    for (int y = 0; y < source.rows; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < source.cols; ++x) {
            QRgb expected = 0;
            if (source.channels() == 1) {
                const int v = source.at<uchar>(y, x);
                expected = qRgb(v, v, v);
            } else {
                const cv::Vec3b bgr = source.at<cv::Vec3b>(y, x);
                expected = qRgb(bgr[2], bgr[1], bgr[0]);
            }
            wrong += row[x] == expected ? 0 : 1;
        }
    }
    return wrong;
}

// A picture in which every pixel and every channel differs from its neighbours.
cv::Mat patterned(int width, int height) {
    cv::Mat picture(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            picture.at<cv::Vec3b>(y, x) =
                cv::Vec3b(static_cast<uchar>(3 * x + 50 * y),
                          static_cast<uchar>(7 * x + 11 * y + 1), static_cast<uchar>(x * y + 2));
        }
    }
    return picture;
}

} // namespace

TEST(Rgb32Conversion, ThreeChannelPixelsLandInBlueGreenRedOrderAtAnOddWidth) {
    // 7 pixels of 3 bytes: 21 bytes per source row, 28 per destination row.
    const cv::Mat source = patterned(7, 3);
    std::unique_ptr<uchar[]> buffer;
    QImage image;
    convertToRgb32(source, buffer, image);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.size(), QSize(7, 3));
    EXPECT_EQ(image.bytesPerLine(), 28);
    EXPECT_EQ(image.constBits(), buffer.get()) << "the image wraps the buffer";
    for (int k = 0; k < 21; ++k) {
        const cv::Vec3b bgr = source.at<cv::Vec3b>(k / 7, k % 7);
        EXPECT_EQ(buffer[4 * k], bgr[0]) << k;
        EXPECT_EQ(buffer[4 * k + 1], bgr[1]) << k;
        EXPECT_EQ(buffer[4 * k + 2], bgr[2]) << k;
        EXPECT_EQ(buffer[4 * k + 3], 0xFF) << k;
    }
    EXPECT_EQ(mismatches(image, source), 0);
}

TEST(Rgb32Conversion, RowsAreReadWhereTheyStartSoNothingIsSheared) {
    // A view into a larger picture: its rows lie 640 * 3 bytes apart, not 5 * 3.
    const cv::Mat whole = patterned(640, 40);
    const cv::Mat view = whole(cv::Rect(3, 2, 5, 31));
    ASSERT_FALSE(view.isContinuous());
    std::unique_ptr<uchar[]> buffer;
    QImage image;
    convertToRgb32(view, buffer, image);
    EXPECT_EQ(mismatches(image, view), 0);

    for (int width : {1, 198, 199, 401, 641}) {
        SCOPED_TRACE(width);
        const cv::Mat picture = patterned(width, 9);
        std::unique_ptr<uchar[]> own;
        QImage shown;
        convertToRgb32(picture, own, shown);
        EXPECT_EQ(mismatches(shown, picture), 0);
    }
}

TEST(Rgb32Conversion, AGreyValueShowsAsEqualRedGreenAndBlue) {
    cv::Mat grey(255, 255, CV_8UC1);
    for (int y = 0; y < 255; ++y) {
        for (int x = 0; x < 255; ++x) {
            grey.at<uchar>(y, x) = static_cast<uchar>(x + 3 * y);
        }
    }
    std::unique_ptr<uchar[]> buffer;
    QImage image;
    convertToRgb32(grey, buffer, image);
    EXPECT_EQ(image.size(), QSize(255, 255));
    EXPECT_EQ(image.bytesPerLine(), 255 * 4);
    EXPECT_EQ(mismatches(image, grey), 0);
    EXPECT_EQ(image.pixel(10, 0), qRgb(10, 10, 10));
    EXPECT_EQ(image.pixel(0, 1), qRgb(3, 3, 3));
    EXPECT_EQ(buffer[4 * 300 + 3], 0xFF);
}

TEST(Rgb32Conversion, LaterCallsOverwriteTheSameBuffer) {
    std::unique_ptr<uchar[]> buffer;
    QImage image;
    convertToRgb32(patterned(31, 17), buffer, image);
    const uchar* first = buffer.get();
    cv::Mat next = patterned(31, 17);
    next.setTo(cv::Scalar(9, 8, 7));
    convertToRgb32(next, buffer, image);
    // Had a new buffer been made, it would have been allocated while the first
    // was still held, at another address.
    EXPECT_EQ(buffer.get(), first);
    EXPECT_EQ(image.constBits(), first);
    EXPECT_EQ(image.pixel(30, 16), qRgb(7, 8, 9));
    EXPECT_EQ(mismatches(image, next), 0);
}

namespace {

class ViewsOfTheWindow : public testing::Test {
  protected:
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};

    // MJPEG by OpenCV's own encoder, which keeps odd frame sizes.
    QString writeVideoOfSize(int width, int height) {
        SyntheticVideoSpec recording;
        recording.width = width;
        recording.height = height;
        recording.stone = [width, height](int) {
            return StoneState{width / 2.0, height / 2.0, 1.0};
        };
        const std::string path = directory.file(std::to_string(width) + ".avi");
        cv::VideoWriter writer(path, cv::CAP_OPENCV_MJPEG,
                               cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0,
                               cv::Size(width, height), true);
        if (!writer.isOpened()) {
            throw std::runtime_error("cannot write " + path);
        }
        for (int i = 0; i < 5; ++i) {
            writer.write(renderFrame(recording, i));
        }
        return QString::fromStdString(path);
    }
};

} // namespace

TEST_F(ViewsOfTheWindow, ShowEachPictureUnshearedAtWidthsWhoseRowsArePadded) {
    // 199 * 3 and 198 * 3 are not multiples of 4.
    for (const cv::Size size : {cv::Size(199, 99), cv::Size(198, 98), cv::Size(401, 301)}) {
        SCOPED_TRACE(size.width);
        MainWindow window(nullptr, writeVideoOfSize(size.width, size.height));
        ASSERT_TRUE(window.isReady());
        window.timer->stop();
        ASSERT_EQ(window.frame.size(), size);

        window.OpenCVMeanShift(); // paused
        EXPECT_EQ(mismatches(window.mainViewImage, window.frame), 0);
        EXPECT_EQ(mismatches(window.mainViewPixmap.toImage(), window.frame), 0);
        EXPECT_EQ(window.mainViewItem->pixmap().size(), QSize(size.width, size.height));
        EXPECT_EQ(mismatches(window.dataViewImage, window.dataFrame), 0);

        window.dataScene->handedOver = QRect(10, 10, 24, 20);
        window.dataScene->selectionState = -1;
        window.StartButtonClicked();
        window.OpenCVMeanShift();
        EXPECT_EQ(mismatches(window.mainViewImage, window.frame), 0);
        EXPECT_EQ(mismatches(window.dataViewImage, window.dataFrame), 0);
        EXPECT_EQ(mismatches(window.dataViewItem->pixmap().toImage(), window.dataFrame), 0);
        EXPECT_EQ(mismatches(window.histViewImage, window.histImage), 0);
        EXPECT_EQ(mismatches(window.histViewItem->pixmap().toImage(), window.histImage), 0);
        EXPECT_EQ(window.histViewItem->pixmap().size(), QSize(255, 255));
    }
}

TEST_F(ViewsOfTheWindow, EveryTickReusesTheThreeBuffers) {
    MainWindow window(nullptr, writeVideoOfSize(400, 300));
    ASSERT_TRUE(window.isReady());
    window.timer->stop();
    EXPECT_EQ(window.mainViewBuffer, nullptr);
    window.StartButtonClicked();
    window.OpenCVMeanShift();
    const uchar* main = window.mainViewBuffer.get();
    const uchar* data = window.dataViewBuffer.get();
    const uchar* hist = window.histViewBuffer.get();
    ASSERT_NE(main, nullptr);
    ASSERT_NE(data, nullptr);
    ASSERT_NE(hist, nullptr);
    for (int i = 0; i < 3; ++i) {
        window.OpenCVMeanShift();
    }
    window.StopButtonClicked();
    window.OpenCVMeanShift();
    EXPECT_EQ(window.mainViewBuffer.get(), main);
    EXPECT_EQ(window.dataViewBuffer.get(), data);
    EXPECT_EQ(window.histViewBuffer.get(), hist);
    EXPECT_EQ(window.mainViewImage.constBits(), main);
    EXPECT_EQ(mismatches(window.mainViewImage, window.frame), 0);
}

TEST_F(ViewsOfTheWindow, APausedWindowConvertsAViewOnlyWhenItsPictureChanged) {
    MainWindow window(nullptr, writeVideoOfSize(400, 300));
    ASSERT_TRUE(window.isReady());
    window.timer->stop();
    window.OpenCVMeanShift();
    EXPECT_EQ(mismatches(window.mainViewItem->pixmap().toImage(), window.frame), 0);

    // A conversion writes every pixel, the fourth byte 0xFF included: a mark
    // left there shows whether the ticks since converted a view.
    const auto mark = [&window] {
        window.mainViewBuffer[3] = 0;
        window.dataViewBuffer[3] = 0;
    };
    const auto converted = [&window] {
        return std::pair(window.mainViewBuffer[3] == 0xFF, window.dataViewBuffer[3] == 0xFF);
    };
    mark();
    for (int i = 0; i < 3; ++i) {
        window.OpenCVMeanShift();
    }
    EXPECT_EQ(converted(), std::pair(false, false));

    window.moveVideoSlider(3);
    window.capture.waitForBackgroundSeek();
    window.OpenCVMeanShift();
    EXPECT_TRUE(converted().first);
    EXPECT_EQ(mismatches(window.mainViewItem->pixmap().toImage(), window.frame), 0);
    mark();
    window.OpenCVMeanShift();
    EXPECT_EQ(converted(), std::pair(false, false));

    window.StartButtonClicked();
    window.OpenCVMeanShift();
    EXPECT_EQ(converted(), std::pair(true, true));
    window.StopButtonClicked();
    mark();
    window.OpenCVMeanShift();
    EXPECT_EQ(converted(), std::pair(false, false));
}
