// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"

#include "common/controlRanges.h"
#include "common/defaults.h"
#include "ui_MainWindow.h"

#include <algorithm>

// Every range and start value is set just before its control is connected, so
// that setting up the window runs no slot (and logs no change of the shot rate).
//
// A slider acts on every change of its value: a drag, a click on the groove,
// the keys and the wheel alike, so that its handle always shows the value in
// use. The video slider alone acts on the user's actions only (actionTriggered):
// the frame cycle moves its handle on every tick, and that must not seek.
void MainWindow::setUpControls() {
    connect(ui->startButton, &QPushButton::clicked, this, &MainWindow::StartButtonClicked);
    connect(ui->pauseButton, &QPushButton::clicked, this, &MainWindow::StopButtonClicked);
    connect(ui->dynThresholdOff, &QPushButton::clicked, this, &MainWindow::dynThreshOffClicked);
    connect(ui->dynThresholdOn, &QPushButton::clicked, this, &MainWindow::dynThreshOnClicked);
    connect(ui->startLoggButton, &QPushButton::clicked, this, &MainWindow::startLoggButtonClicked);

    applyFrameCount();
    ui->videoSlider->setValue(0);
    connect(this, &MainWindow::updateVideoSlider, ui->videoSlider, &QSlider::setValue);
    // When the action is announced the handle has moved and the value not yet:
    // an action that leaves the handle where it was (End at the end) seeks nothing.
    connect(ui->videoSlider, &QSlider::actionTriggered, this, [this] {
        const int position = ui->videoSlider->sliderPosition();
        if (position != ui->videoSlider->value()) {
            moveVideoSlider(position);
        }
    });

    ui->thresholdSlider->setRange(bounds::thresholdLowest, bounds::thresholdHighest);
    connect(this, &MainWindow::updateThresholdSlider, ui->thresholdSlider, &QSlider::setValue);
    connect(ui->thresholdSlider, &QSlider::valueChanged, ui->lcdThreshold,
            qOverload<int>(&QLCDNumber::display));
    ui->thresholdSlider->setValue(threshold);
    ui->lcdThreshold->display(threshold);
    // The frame cycle's update sets the threshold it has just chosen: the
    // slot then writes the same value back.
    connect(ui->thresholdSlider, &QSlider::valueChanged, this, &MainWindow::moveThresholdSlider);

    // On a frame too small for the focal area's start position, the area is
    // moved inside the frame, where its sliders can show it.
    const PositionRanges ranges = positionRanges(frameWidth, frameHeight);
    const int focalXMost = ranges.focalXMost;
    const int focalYMost = ranges.focalYMost;
    brennpunktX = std::min(brennpunktX, focalXMost);
    brennpunktY = std::min(brennpunktY, focalYMost);
    ui->brennpunktXSlider->setRange(0, focalXMost);
    ui->brennpunktXSlider->setValue(brennpunktX);
    connect(ui->brennpunktXSlider, &QSlider::valueChanged, this,
            &MainWindow::moveBrennpunktXSlider);
    ui->brennpunktYSlider->setRange(0, focalYMost);
    ui->brennpunktYSlider->setValue(brennpunktY);
    connect(ui->brennpunktYSlider, &QSlider::valueChanged, this,
            &MainWindow::moveBrennpunktYSlider);

    connect(this, &MainWindow::updateSkuddLcd, ui->lcdSkudd, qOverload<int>(&QLCDNumber::display));

    ui->RoiXSlider->setRange(0, ranges.roiXMost);
    ui->RoiXSlider->setValue(roiX);
    connect(ui->RoiXSlider, &QSlider::valueChanged, this, &MainWindow::moveRoiXSlider);
    ui->RoiYSlider->setRange(0, ranges.roiYMost);
    ui->RoiYSlider->setValue(roiY);
    connect(ui->RoiYSlider, &QSlider::valueChanged, this, &MainWindow::moveRoiYSlider);
    ui->filterSlider->setRange(bounds::filterSizeLowest, bounds::filterSizeHighest);
    ui->filterSlider->setValue(filterSize);
    connect(ui->filterSlider, &QSlider::valueChanged, this, &MainWindow::moveFilterSlider);

    ui->brennpunktXBox->setRange(bounds::brennpunktSizeLowest, bounds::brennpunktSizeHighest);
    ui->brennpunktXBox->setValue(initialBrennpunktWidth);
    connect(ui->brennpunktXBox, &QSpinBox::valueChanged, this, &MainWindow::endreBrennpunktXBox);
    ui->brennpunktYBox->setRange(bounds::brennpunktSizeLowest, bounds::brennpunktSizeHighest);
    ui->brennpunktYBox->setValue(initialBrennpunktHeight);
    connect(ui->brennpunktYBox, &QSpinBox::valueChanged, this, &MainWindow::endreBrennpunktYbox);
    ui->skuddPerMinBox->setRange(bounds::skuddPerMinLowest, bounds::skuddPerMinHighest);
    ui->skuddPerMinBox->setValue(skuddPerMin);
    connect(ui->skuddPerMinBox, &QSpinBox::valueChanged, this, &MainWindow::endreSkuddFrekvens);
}

void MainWindow::StartButtonClicked() {
    playing = 1;
}

void MainWindow::StopButtonClicked() {
    playing = 0;
}

void MainWindow::startLoggButtonClicked() {
    loggStarted = 1;
}

void MainWindow::dynThreshOnClicked() {
    dynThresh = 1;
}

void MainWindow::dynThreshOffClicked() {
    dynThresh = 0;
}

// Only a position before the last frame is read; at or past it the capture
// stays where it was put and `frame` keeps its picture. The seek runs in the
// background, so that a long one never blocks the window; the next tick after
// it has landed shows the frame.
void MainWindow::moveVideoSlider(int pos) {
    capture.seekInBackground(pos, frameCount - 1 > pos);
}

void MainWindow::moveThresholdSlider(int pos) {
    threshold = pos;
}

void MainWindow::moveBrennpunktXSlider(int pos) {
    brennpunktX = pos;
}

void MainWindow::moveBrennpunktYSlider(int pos) {
    brennpunktY = pos;
}

void MainWindow::moveRoiXSlider(int pos) {
    roiX = pos;
}

void MainWindow::moveRoiYSlider(int pos) {
    roiY = pos;
}

void MainWindow::moveFilterSlider(int pos) {
    filterSize = pos;
}

void MainWindow::endreBrennpunktXBox(int verdi) {
    brennpunktRect.width = verdi;
}

void MainWindow::endreBrennpunktYbox(int verdi) {
    brennpunktRect.height = verdi;
}
