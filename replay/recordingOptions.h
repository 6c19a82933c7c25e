// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"
#include "tracking/recordingInfo.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <optional>

// What the command line asks of the recording's own terms: the size of a
// pixel, sizes given in millimetres, and the clock the ticks run on.

// How long each tick lasts. Window: the window's timer, whatever the video;
// recording: each tick the frame time that the recording gives for the frame
// it shows; fixed: `ms` every tick.
struct ClockChoice {
    enum class Kind { Window, Recording, Fixed };
    Kind kind = Kind::Window;
    int ms = 0; // with Fixed
};

// "window", "recording" or a whole number of milliseconds from 1 to 10000.
std::optional<ClockChoice> clockNamed(const QString& text);

// "X" or "X,Y" millimetres per pixel, each from 0.001 to 10.
std::optional<MmPerPixel> mmPerPixelNamed(const QString& text);

struct MillimetreSize {
    double width = 0.0;
    double height = 0.0;
};

struct RecordingRequest {
    std::optional<MmPerPixel> mmPerPixel;      // over what the recording says
    std::optional<MillimetreSize> focalSizeMm; // instead of --focal-size
    std::optional<double> gateMarginMm;        // instead of --gate-margin
    ClockChoice clock;
};

// The options of a RecordingRequest on a command line.
class RecordingOptions {
  public:
    QList<QCommandLineOption> all() const { return {mmPerPixel, focalSizeMm, gateMarginMm, clock}; }

    // Reads the options into `request`; refused (a usage error) with what is
    // wrong.
    Refusable<> read(const QCommandLineParser& parser, RecordingRequest& request) const;

  private:
    const QCommandLineOption mmPerPixel{
        "mm-per-pixel",
        "The size of a pixel in millimetres, across and down (Y defaults to X), each from 0.001 "
        "to 10; over the recording's own calibration. Distances are then also given in "
        "millimetres.",
        "X[,Y]"};
    const QCommandLineOption focalSizeMm{
        "focal-size-mm",
        "Size of the focal area in millimetres, rounded to whole pixels, which must be 2..100 "
        "(needs a calibration; not with --focal-size).",
        "W,H"};
    const QCommandLineOption gateMarginMm{
        "gate-margin-mm",
        "The gate margin in millimetres: at least MM inside every edge, in the pixels of the "
        "axis whose pixels are smaller (needs a calibration; not with --gate-margin).",
        "MM"};
    const QCommandLineOption clock{
        "clock",
        "How long a tick lasts: window, the window's 25 ms timer; recording, the recording's "
        "own frame time, frame by frame where it times each frame; MS, a whole number of "
        "milliseconds from 1 to 10000 (default window).",
        "window|recording|MS"};
};
