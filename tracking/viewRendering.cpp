// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/viewRendering.h"

#include "app/MainWindow.h"

#include <QGraphicsPixmapItem>
#include <opencv2/imgproc.hpp>

void convertToRgb32(const cv::Mat& source, std::unique_ptr<uchar[]>& buffer, QImage& image) {
    const int width = source.cols;
    const int height = source.rows;
    if (!buffer || image.width() != width || image.height() != height) {
        buffer = std::make_unique<uchar[]>(static_cast<std::size_t>(width) * height * 4);
        image = QImage(buffer.get(), width, height, width * 4, QImage::Format_RGB32);
    }
    // Blue, green, red and a full fourth byte, the memory order of RGB32; the
    // destination wraps the buffer, so the conversion writes straight into it.
    cv::Mat pixels(height, width, CV_8UC4, buffer.get());
    const int code = source.channels() == 1 ? cv::COLOR_GRAY2BGRA : cv::COLOR_BGR2BGRA;
    cv::cvtColor(source, pixels, code);
}

void MainWindow::showMainView(const cv::Mat& image) {
    convertToRgb32(image, mainViewBuffer, mainViewImage);
    mainViewPixmap = QPixmap::fromImage(mainViewImage);
    mainViewItem->setPixmap(mainViewPixmap);
}

void MainWindow::showDataView(const cv::Mat& image) {
    convertToRgb32(image, dataViewBuffer, dataViewImage);
    dataViewPixmap = QPixmap::fromImage(dataViewImage);
    dataViewItem->setPixmap(dataViewPixmap);
}

void MainWindow::showHistView(const cv::Mat& image) {
    convertToRgb32(image, histViewBuffer, histViewImage);
    histViewPixmap = QPixmap::fromImage(histViewImage);
    histViewItem->setPixmap(histViewPixmap);
}
