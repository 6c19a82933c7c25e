// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>
#include <gtest/gtest.h>

#include "annotate/annotateOptions.h"
#include "annotate/annotation.h"
#include "annotate/pictureGeometry.h"
#include "annotate/recordingTime.h"
#include "annotate/trackKeyframes.h"
#include "evaluation/groundTruth.h"
#include "evaluation/trackCsv.h"
#include "tests/testSupport.h"
#include "tracking/recordingInfo.h"

namespace {

// Keyframes on 2 and 6, out of the plane from 8 (no keyframe after it), in
// focus on 4.
Annotation sample() {
    Annotation annotation;
    annotation.keyframes = {{2, {10, 20}}, {6, {18, 12}}};
    annotation.outOfPlaneFrom = {8};
    annotation.inFocus = {4};
    return annotation;
}

GroundTruth parsedStrictly(const QByteArray& text, std::int64_t frames = 100) {
    const Refusable<GroundTruth> reading = parseGroundTruth(text, "t.csv", frames, annotationRules);
    EXPECT_TRUE(reading.ok()) << reading.refusal().message.toStdString();
    return reading ? *reading : GroundTruth();
}

} // namespace

TEST(Annotation, CentreBetweenAndAroundKeyframes) {
    Annotation withMarkBefore;
    withMarkBefore.keyframes = {{4, {30, 40}}, {7, {60, 40}}};
    withMarkBefore.outOfPlaneFrom = {1, 7};
    struct Case {
        const Annotation& annotation;
        std::int64_t frame;
        std::optional<QPointF> centre;
        bool keyframe, inPlane, carried, inFocus;
    };
    const Annotation a = sample();
    const Annotation none;
    const Case cases[] = {
        {a, 0, QPointF(10, 20), false, true, true, false}, // before the first: carried back
        {a, 2, QPointF(10, 20), true, true, false, false},
        {a, 3, QPointF(12, 18), false, true, false, false}, // a quarter of the way
        {a, 4, QPointF(14, 16), false, true, false, true},
        {a, 5, QPointF(16, 14), false, true, false, false},
        {a, 6, QPointF(18, 12), true, true, false, false},
        {a, 7, QPointF(18, 12), false, true, true, false}, // after the last: carried on
        {a, 8, QPointF(18, 12), false, false, true, false},
        {a, 50, QPointF(18, 12), false, false, true, false}, // out up to the end
        // Out before any keyframe: the centre of the keyframe after it.
        {withMarkBefore, 1, QPointF(30, 40), false, false, true, false},
        {withMarkBefore, 3, QPointF(30, 40), false, false, true, false},
        {withMarkBefore, 4, QPointF(30, 40), true, true, false, false}, // back in the plane
        {withMarkBefore, 5, QPointF(40, 40), false, true, false, false},
        // A keyframe with a mark of its own is out of the plane at its own centre.
        {withMarkBefore, 7, QPointF(60, 40), true, false, false, false},
        {withMarkBefore, 9, QPointF(60, 40), false, false, true, false},
        {none, 3, std::nullopt, false, true, false, false},
    };
    for (const Case& c : cases) {
        const FrameTruth truth = truthAt(c.annotation, c.frame);
        SCOPED_TRACE(c.frame);
        ASSERT_EQ(truth.centre.has_value(), c.centre.has_value());
        if (c.centre) {
            EXPECT_DOUBLE_EQ(truth.centre->x(), c.centre->x());
            EXPECT_DOUBLE_EQ(truth.centre->y(), c.centre->y());
        }
        EXPECT_EQ(truth.keyframe, c.keyframe);
        EXPECT_EQ(truth.inPlane, c.inPlane);
        EXPECT_EQ(truth.carried, c.carried);
        EXPECT_EQ(truth.inFocus, c.inFocus);
    }
}

TEST(Annotation, FramesOfTheFileRunFromTheFirstMarkToTheLast) {
    Annotation backInPlane;
    backInPlane.keyframes = {{0, {1, 1}}, {10, {2, 2}}};
    backInPlane.outOfPlaneFrom = {3};
    Annotation focusOnly;
    focusOnly.inFocus = {5, 9};
    Annotation outLast;
    outLast.outOfPlaneFrom = {29};
    struct Case {
        Annotation annotation;
        std::optional<std::pair<std::int64_t, std::int64_t>> frames;
    };
    const Case cases[] = {
        {sample(), std::pair<std::int64_t, std::int64_t>(2, 29)}, // the stretch from 8 to the end
        {backInPlane, std::pair<std::int64_t, std::int64_t>(0, 10)},
        {focusOnly, std::pair<std::int64_t, std::int64_t>(5, 9)},
        {outLast, std::pair<std::int64_t, std::int64_t>(29, 29)},
        {Annotation(), std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(annotatedFrames(c.annotation, 29), c.frames);
    }
}

TEST(Annotation, TruthFileBytes) {
    Annotation focusOnly;
    focusOnly.inFocus = {1, 3};
    Annotation outOnly;
    outOnly.outOfPlaneFrom = {2};
    Annotation keyframesOnly;
    keyframesOnly.keyframes = {{0, {1.25, 2}}, {2, {2.5, 0}}};
    struct Case {
        Annotation annotation;
        QByteArray bytes;
    };
    const Case cases[] = {
        {sample(), "frame,centre_x,centre_y,in_plane,keyframe,in_focus\n"
                   "2,10.000,20.000,1,1,0\n"
                   "3,12.000,18.000,1,0,0\n"
                   "4,14.000,16.000,1,0,1\n"
                   "5,16.000,14.000,1,0,0\n"
                   "6,18.000,12.000,1,1,0\n"
                   "7,18.000,12.000,1,0,0\n"
                   "8,18.000,12.000,0,0,0\n"
                   "9,18.000,12.000,0,0,0\n"},
        {keyframesOnly, "frame,centre_x,centre_y,in_plane,keyframe\n"
                        "0,1.250,2.000,1,1\n"
                        "1,1.875,1.000,1,0\n"
                        "2,2.500,0.000,1,1\n"},
        {focusOnly, "frame,in_focus\n1,1\n2,0\n3,1\n"},
        {outOnly, "frame,in_plane\n2,0\n3,0\n4,0\n5,0\n6,0\n7,0\n8,0\n9,0\n"},
        {Annotation(), "frame,centre_x,centre_y,in_plane,keyframe\n"},
    };
    for (const Case& c : cases) {
        const QByteArray bytes = formatGroundTruth(truthOf(c.annotation, 9));
        EXPECT_EQ(bytes.toStdString(), c.bytes.toStdString());
        // The replay reads the same file: the centres where it has them.
        if (!c.annotation.keyframes.empty()) {
            EXPECT_TRUE(parseGroundTruth(bytes, "t.csv", 10).ok());
        }
    }
}

// What is written is read back as the same annotation, so that a user goes on
// where the last session ended.
TEST(Annotation, FileGivesBackTheAnnotation) {
    Annotation ownMark;
    ownMark.keyframes = {{3, {5.5, 6.1}}, {6, {9, 1}}};
    ownMark.outOfPlaneFrom = {1, 3};
    ownMark.inFocus = {0, 9};
    Annotation focusOnly;
    focusOnly.inFocus = {4};
    Annotation outOnly;
    outOnly.outOfPlaneFrom = {5};
    outOnly.inFocus = {2};
    for (const Annotation& annotation : {sample(), ownMark, focusOnly, outOnly}) {
        const QByteArray bytes = formatGroundTruth(truthOf(annotation, 9));
        const Refusable<ContinuedAnnotation> read = annotationOf(parsedStrictly(bytes), 9);
        ASSERT_TRUE(read.ok()) << read.refusal().message.toStdString();
        EXPECT_FALSE(read->note.has_value());
        EXPECT_EQ(read->annotation, annotation) << bytes.toStdString();
    }
}

// A file from elsewhere keeps every position it holds: rows that the keyframes
// would not give back become keyframes.
TEST(Annotation, ForeignFileKeepsItsPositions) {
    struct Case {
        QByteArray file;
        std::size_t keyframes;
    };
    const Case cases[] = {
        // No keyframe column (the synthetic video's truth): every row is one.
        {"frame,centre_x,centre_y,in_plane\n0,1,1,1\n1,2,2,1\n2,3,5,0\n3,3,4,1\n", 4},
        // A row off the line between its keyframes.
        {"frame,centre_x,centre_y,in_plane,keyframe\n0,0,0,1,1\n1,5,0,1,0\n2,2,0,1,1\n", 3},
        // Out of the plane at centres other than the keyframe's before.
        {"frame,centre_x,centre_y,in_plane,keyframe\n0,0,0,1,1\n1,7,7,0,0\n2,0,0,0,0\n3,4,0,1,1\n",
         4},
        // In the plane again without a keyframe.
        {"frame,centre_x,centre_y,in_plane,keyframe\n0,0,0,1,1\n1,0,0,0,0\n2,1,0,1,0\n3,2,0,1,1\n",
         3},
    };
    for (const Case& c : cases) {
        const GroundTruth file = parsedStrictly(c.file);
        const Refusable<ContinuedAnnotation> read = annotationOf(file, 99);
        ASSERT_TRUE(read.ok()) << read.refusal().message.toStdString();
        EXPECT_FALSE(read->note.has_value());
        EXPECT_EQ(read->annotation.keyframes.size(), c.keyframes) << c.file.toStdString();
        const GroundTruth again = truthOf(read->annotation, 99);
        ASSERT_EQ(again.byFrame.size(), file.byFrame.size());
        for (const auto& [frame, point] : file.byFrame) {
            const TruthPoint& made = again.byFrame.at(frame);
            EXPECT_DOUBLE_EQ(made.centreX, point.centreX) << frame;
            EXPECT_DOUBLE_EQ(made.centreY, point.centreY) << frame;
            EXPECT_EQ(made.inPlane, point.inPlane) << frame;
        }
    }
    // A long stretch out of the plane at changing centres: every row becomes
    // a keyframe, in one pass over the file rather than one per row.
    QByteArray drifting = "frame,centre_x,centre_y,in_plane,keyframe\n0,0,0,1,1\n";
    for (int frame = 1; frame <= 20'000; ++frame) {
        drifting += QByteArray::number(frame) + ',' + QByteArray::number(frame % 640) + ",5,0,0\n";
    }
    const Refusable<ContinuedAnnotation> drifted =
        annotationOf(parsedStrictly(drifting, 20'001), 20'000);
    ASSERT_TRUE(drifted.ok());
    EXPECT_EQ(drifted->annotation.keyframes.size(), 20'001u);
    EXPECT_EQ(formatGroundTruth(truthOf(drifted->annotation, 20'000)).count('\n'), 20'002);

    const Refusable<ContinuedAnnotation> lost =
        annotationOf(parsedStrictly("frame,in_plane\n0,0\n1,1\n"), 99);
    ASSERT_FALSE(lost.ok());
    EXPECT_TRUE(lost.refusal().message.contains("frame 1")) << lost.refusal().message.toStdString();
    // Out of the plane to the end of the file, not of the recording: said.
    const GroundTruth endsOut =
        parsedStrictly("frame,centre_x,centre_y,in_plane\n0,1,1,1\n1,1,1,0\n");
    EXPECT_TRUE(annotationOf(endsOut, 99)->note->contains("ends out of the plane on frame 1"));
    EXPECT_FALSE(annotationOf(endsOut, 1)->note.has_value());
}

TEST(GroundTruth, AnnotationRulesRefuseWithTheLine) {
    struct Case {
        QByteArray text;
        int line;
        const char* word;
    };
    const Case cases[] = {
        {"frame,centre_x,centre_y,note\n", 1, "\"note\" is none of"},
        {"frame,centre_x,centre_y,\n", 1, "\"\" is none of"},
        {"frame,centre_x\n", 1, "no centre_y"},
        {"frame,centre_y,in_plane\n", 1, "no centre_x"},
        {"frame,keyframe\n", 1, "names no truth"},
        {"centre_x,centre_y\n", 1, "no column frame"},
        {"frame,in_focus,in_focus\n", 1, "twice"},
        {"frame,in_focus\n0,1\n0,2\n", 3, "in_focus must be 1 or 0"},
        {"frame,centre_x,centre_y,keyframe\n0,1,2,yes\n", 2, "keyframe must be 1 or 0"},
        {"frame,in_focus\n0,1\n\n0,0\n", 4, "annotated twice (first on line 2)"},
        {"frame,centre_x,centre_y\n0,1,x\n", 2, "centre_y is not a number"},
        {"frame,in_focus\n10,1\n", 2, "beyond"},
        {"frame,in_focus\n0\n", 2, "fields"},
    };
    for (const Case& c : cases) {
        const Refusable<GroundTruth> reading =
            parseGroundTruth(c.text, "t.csv", 10, annotationRules);
        ASSERT_FALSE(reading.ok()) << c.word;
        EXPECT_TRUE(refusedOnLine(reading.refusal(), "t.csv", c.line)) << c.word;
        EXPECT_TRUE(reading.refusal().message.contains(QLatin1String(c.word)))
            << reading.refusal().message.toStdString();
    }
    const GroundTruth focus = parsedStrictly("frame,in_focus\n3,1\n4,0\n");
    EXPECT_FALSE(focus.columns.centre);
    EXPECT_TRUE(focus.columns.inFocus);
    EXPECT_TRUE(focus.at(3)->inFocus);
    EXPECT_FALSE(focus.at(4)->inFocus);
}

// The replay's reading of positions is what it was: the annotation columns
// are other columns to it (labels of focus alone: test_truthKinds.cpp).
TEST(GroundTruth, ReplayRulesIgnoreTheAnnotationColumns) {
    const Refusable<GroundTruth> reading =
        parseGroundTruth("frame,centre_x,centre_y,keyframe,in_focus,note\n0,1,2,yes,1,x\n", "t.csv",
                         10, replayTruthRules);
    ASSERT_TRUE(reading.ok()) << reading.refusal().message.toStdString();
    EXPECT_FALSE(reading->at(0)->keyframe);
    EXPECT_FALSE(reading->at(0)->inFocus);
    EXPECT_FALSE(reading->labelsFocusOnly());
    const Refusable<GroundTruth> focusOnly = parseGroundTruth("frame,in_focus\n0,1\n", "t.csv", 10);
    ASSERT_FALSE(focusOnly.ok()) << "without the replay's rule, centres are required";
    EXPECT_TRUE(
        focusOnly.refusal().message.contains("it must name at least frame,centre_x,centre_y"));
}

TEST(TrackKeyframes, EveryNthTickOnTheFrameItShowed) {
    QByteArray track = trackCsvHeader();
    // Ticks 1..9 show frames 0..8, then playback starts over: tick 10 shows
    // frame 1 again. The tracker lost the stone on tick 4.
    for (int tick = 1; tick <= 10; ++tick) {
        TickRecord record;
        record.tick = tick;
        record.frame = tick <= 9 ? tick : 2;
        record.centreX = 100 + tick;
        record.centreY = 50 - tick;
        record.inPlane = tick != 4;
        track += trackCsvRow(record);
    }
    const Refusable<Annotation> every3 = keyframesFromTrack(track, "track.csv", 3, 9);
    ASSERT_TRUE(every3.ok()) << every3.refusal().message.toStdString();
    const std::map<std::int64_t, QPointF> expected = {{0, {101, 49}}, {6, {107, 43}}};
    EXPECT_EQ(every3->keyframes, expected);
    EXPECT_EQ(keyframesFromTrack(track, "track.csv", 1, 9)->keyframes.size(), 8u);

    const QByteArray header = trackCsvHeader();
    struct Case {
        QByteArray text;
        int line;
        const char* word;
    };
    const Case cases[] = {
        {"tick,frame,centre_x\n", 1, "no column centre_y"},
        {header + "1,0,0.025,0,0,1,1,5,5,10,1,0,0,100,5.000,5.000,1.000\n", 2,
         "frame must be a whole number from 1"},
        {header + "1,12,0.025,0,0,1,1,5,5,10,1,0,0,100,5.000,5.000,1.000\n", 2,
         "beyond the video's last frame, 8"},
        {header + "1,1,0.025,0,0,1,1,x,5,10,1,0,0,100,5.000,5.000,1.000\n", 2,
         "centre_x is not a number"},
        {header + "1,1,0.025,0,0,1,1,5,5,10,2,0,0,100,5.000,5.000,1.000\n", 2,
         "in_plane must be 1 or 0"},
        // Centres within the replay's bounds for a 320 x 240 frame.
        {header + "1,1,0.025,0,0,1,1,1e300,5,10,1,0,0,100,5.000,5.000,1.000\n", 2,
         "centre_x \"1e300\" lies farther outside the 320 x 240 frame"},
        {header + "1,1,0.025,0,0,1,1,5,-241,10,1,0,0,100,5.000,5.000,1.000\n", 2,
         "centre_y \"-241\" lies farther outside the 320 x 240 frame than the frame's size; it "
         "must lie within -240..480"},
        {header + "1,1,0.025\n", 2, "fields"},
        {"", 1, "no header"},
    };
    for (const Case& c : cases) {
        const Refusable<Annotation> read =
            keyframesFromTrack(c.text, "track.csv", 1, 9, {320, 240});
        ASSERT_FALSE(read.ok()) << c.word;
        EXPECT_TRUE(refusedOnLine(read.refusal(), "track.csv", c.line)) << c.word;
        EXPECT_TRUE(read.refusal().message.contains(QLatin1String(c.word)))
            << read.refusal().message.toStdString();
    }
}

TEST(AnnotateOptions, CommandLines) {
    using Outcome = ParsedAnnotateCommand::Outcome;
    struct Case {
        QStringList arguments;
        Outcome outcome;
        const char* text;
    };
    const Case cases[] = {
        {{"v.avi"}, Outcome::Run, ""},
        {{"--help"}, Outcome::Answer, "Usage: tessavolant-annotate [options] VIDEO"},
        {{"-v"}, Outcome::Answer, "tessavolant-annotate 0."},
        {{}, Outcome::UsageError, "expected a VIDEO"},
        {{"a.avi", "b.avi"}, Outcome::UsageError, "expected one VIDEO, got 2"},
        {{"--every", "3", "v.avi"}, Outcome::UsageError, "--every needs --from-track"},
        {{"--from-track", "k.csv", "--every", "0", "v.avi"}, Outcome::UsageError, "--every: "},
        {{"--focal-size", "1,5", "v.avi"}, Outcome::UsageError, "--focal-size: expected W,H"},
        {{"--focal", "-1,5", "v.avi"}, Outcome::UsageError, "--focal: expected X,Y"},
        {{"--truth=", "v.avi"}, Outcome::UsageError, "--truth: expected a file name"},
        {{"--bogus", "v.avi"}, Outcome::UsageError, "Unknown option 'bogus'"},
    };
    for (const Case& c : cases) {
        const ParsedAnnotateCommand parsed = parseAnnotateCommand(c.arguments);
        EXPECT_EQ(parsed.outcome, c.outcome) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(parsed.text.contains(QLatin1String(c.text))) << parsed.text.toStdString();
    }
    const ParsedAnnotateCommand all =
        parseAnnotateCommand({"--truth", "t.csv", "--from-track", "k.csv", "--every", "3",
                              "--focal", "10,20", "--focal-size", "30,40", "v.avi"});
    ASSERT_EQ(all.outcome, Outcome::Run);
    EXPECT_EQ(all.options.video, "v.avi");
    EXPECT_EQ(all.options.truthPath, "t.csv");
    EXPECT_EQ(all.options.trackPath, "k.csv");
    EXPECT_EQ(all.options.every, 3);
    EXPECT_EQ(all.options.focal, cv::Rect(10, 20, 30, 40));
    const AnnotateOptions defaults = parseAnnotateCommand({"v.avi"}).options;
    EXPECT_EQ(defaults.every, 10);
    EXPECT_EQ(defaults.focal, cv::Rect(200, 200, 20, 20));
    EXPECT_TRUE(defaults.truthPath.isEmpty());
}

TEST(AnnotateOptions, DefaultTruthBesideTheVideo) {
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"scan.avi", "scan-truth.csv"},
        {"/data/x.y/scan", "/data/x.y/scan-truth.csv"},
        {"/data/.hidden", "/data/.hidden-truth.csv"},
        {"a.b.dcm", "a.b-truth.csv"},
        {"/data/\xC5se.avi", "/data/\xC5se-truth.csv"},
    };
    for (const auto& [video, truth] : cases) {
        EXPECT_EQ(defaultTruthName(video), truth);
    }
    EXPECT_TRUE(reachableByQt("/data/\xC3\x85se-truth.csv"));
    EXPECT_FALSE(reachableByQt("/data/\xC5se-truth.csv"));
}

TEST(PictureGeometry, ScaleAndClickedPoint) {
    EXPECT_DOUBLE_EQ(pictureScale({640, 480}, {1256, 854}), 1.0);
    EXPECT_DOUBLE_EQ(pictureScale({1920, 1080}, {1256, 854}), 1256.0 / 1920.0);
    EXPECT_DOUBLE_EQ(pictureScale({1920, 1080}, {2000, 540}), 0.5);
    EXPECT_EQ(scaledPicture({1920, 1080}, 1256.0 / 1920.0), QSize(1256, 707));
    EXPECT_EQ(scaledPicture({1920, 1080}, 0.5), QSize(960, 540));

    struct Case {
        QPointF scene;
        double scale;
        QPointF image;
    };
    const double wide = 1256.0 / 1920.0;
    const Case cases[] = {
        {{12, 7}, 1.0, {12, 7}},
        {{12.7, 7.2}, 1.0, {12, 7}},                    // the pixel under the pointer
        {{24, 14}, 0.5, {24.5, 14.5}},                  // a screen pixel covers two image pixels
        {{3, 0}, 1.0 / 3.0, {4, 1}},                    // and here three, (3..5, 0..2)
        {{100 / wide, 10 / wide}, wide, {153.1, 15.6}}, // to a tenth of a pixel
        {{-5, 1000}, 1.0, {0, 479}},                    // within the frame
    };
    for (const Case& c : cases) {
        const QPointF at = imagePointAt(c.scene, c.scale, {640, 480});
        EXPECT_NEAR(at.x(), c.image.x(), 1e-9) << c.scene.x();
        EXPECT_NEAR(at.y(), c.image.y(), 1e-9) << c.scene.y();
    }
}

TEST(RecordingTime, FrameTimeFromTheHeader) {
    EXPECT_EQ(frameTimeFromRate(25.0), 40.0);
    EXPECT_NEAR(*frameTimeFromRate(7.5), 133.333, 1e-3);
    for (double none : {0.0, -25.0, std::nan(""), 2000.0}) {
        EXPECT_FALSE(frameTimeFromRate(none).has_value()) << none;
    }
    EXPECT_EQ(recordingTimeText(12, {40.0, true}), "0.480 s");
    EXPECT_EQ(recordingTimeText(12, {}), "0.480 s (40 ms a frame assumed)");
    EXPECT_EQ(recordingTimeText(3, {100.0, true}), "0.300 s");
}
