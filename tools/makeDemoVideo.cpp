// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/syntheticVideo.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <cstdio>
#include <string>

// Makes the demo video: 24 s of a breathing kidney stone at 25 fps, 640 x 480,
// that leaves the imaging plane twice. The same command always makes the same
// video, and the optional CSV tells where the stone really was in each frame.
// --size and --frames make larger or shorter ones with the same stone path, in
// image pixels, for trying the window with large recordings.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("make_demo_video");
    QCoreApplication::setApplicationVersion(PROJECT_VERSION);
    QCommandLineParser parser;
    parser.setApplicationDescription("Writes the synthetic demo video (MJPG AVI) and, if asked, "
                                     "the stone's true position per frame (CSV).");
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption sizeOption("size", "Frame size, at least 320x240 (640x480).",
                                        "WIDTHxHEIGHT", "640x480");
    const QCommandLineOption framesOption("frames", "Number of frames, 2 or more (600).", "N",
                                          "600");
    parser.addOption(sizeOption);
    parser.addOption(framesOption);
    parser.addPositionalArgument("OUTPUT.avi", "The video to write.");
    parser.addPositionalArgument("GROUND_TRUTH.csv", "Where the stone is in each frame.",
                                 "[GROUND_TRUTH.csv]");

    const auto usageError = [](const QString& message) {
        std::fprintf(stderr, "make_demo_video: %s (see --help)\n", qPrintable(message));
        return 2;
    };
    if (!parser.parse(QCoreApplication::arguments())) {
        return usageError(parser.errorText());
    }
    if (parser.isSet(helpOption)) {
        parser.showHelp(0);
    }
    if (parser.isSet(versionOption)) {
        parser.showVersion();
    }
    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty() || paths.size() > 2) {
        return usageError("expected OUTPUT.avi and at most one GROUND_TRUTH.csv");
    }
    SyntheticVideoSpec spec; // the defaults are the demo
    const QRegularExpressionMatch size =
        QRegularExpression("^(\\d{3,5})x(\\d{3,5})$").match(parser.value(sizeOption));
    if (!size.hasMatch() || size.captured(1).toInt() < 320 || size.captured(2).toInt() < 240) {
        return usageError("--size takes WIDTHxHEIGHT of at least 320x240, not \"" +
                          parser.value(sizeOption) + "\"");
    }
    spec.width = size.captured(1).toInt();
    spec.height = size.captured(2).toInt();
    bool isNumber = false;
    spec.frames = parser.value(framesOption).toInt(&isNumber);
    if (!isNumber || spec.frames < 2) {
        return usageError("--frames takes a whole number of 2 or more, not \"" +
                          parser.value(framesOption) + "\"");
    }

    const std::string aviPath = paths[0].toStdString();
    const std::string csvPath = paths.size() == 2 ? paths[1].toStdString() : "";
    if (!writeSyntheticVideo(aviPath, csvPath, spec)) {
        std::fprintf(stderr, "make_demo_video: cannot write %s%s%s\n", aviPath.c_str(),
                     csvPath.empty() ? "" : " or ", csvPath.c_str());
        return 1;
    }
    std::printf("wrote %s (%d frames, %dx%d, %g fps)%s%s\n", aviPath.c_str(), spec.frames,
                spec.width, spec.height, spec.fps, csvPath.empty() ? "" : " and ", csvPath.c_str());
    return 0;
}
