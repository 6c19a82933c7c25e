// SPDX-License-Identifier: GPL-3.0-or-later
// The replay's settings taken from the marked region track at least as well
// as a good choice by hand, and the report says what the run used.

#include "tests/testSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

QJsonObject reportOf(const char* path) {
    return QJsonDocument::fromJson(readBytes(path)).object();
}

// On the demo's stone where the default region of interest holds it, and on a
// stone moved away from it: --roi auto --threshold mark against the region and
// level a user would set by hand.
TEST(SettingsFromTheMark, AutoAndMarkTrackAsWellAsAGoodHandChoice) {
    const struct {
        const char* name;
        QPoint shift;       // of the demo's path
        QStringList byHand; // a good choice
    } cases[] = {
        {"demo", {0, 0}, {"--roi", "120,170", "--threshold", "150"}},
        {"moved", {150, 80}, {"--roi", "270,250", "--threshold", "150"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryWorkingDirectory directory;
        SyntheticVideoSpec spec;
        spec.frames = 250;
        const QPoint shift = c.shift;
        spec.stone = [shift](int frame) {
            StoneState stone = demoBreathingPath(frame);
            stone.centreX += shift.x();
            stone.centreY += shift.y();
            return stone;
        };
        ASSERT_TRUE(writeSyntheticVideo("v.avi", "truth.csv", spec));
        const QString select =
            QStringLiteral("%1,%2,21,19").arg(207 + shift.x()).arg(205 + shift.y());
        const QStringList common{"--select", select, "-q", "--truth", "truth.csv", "v.avi"};
        const ProgramOutput hand = runToEnd(
            TESSAVOLANT_REPLAY_BINARY, c.byHand + QStringList{"--report", "hand.json"} + common);
        ASSERT_EQ(hand.exitCode, 0) << hand.errors.constData();
        const ProgramOutput chosen = runToEnd(
            TESSAVOLANT_REPLAY_BINARY,
            QStringList{"--roi", "auto", "--threshold", "mark", "--report", "mark.json"} + common);
        ASSERT_EQ(chosen.exitCode, 0) << chosen.errors.constData();
        const QJsonObject byHand = reportOf("hand.json");
        const QJsonObject byMark = reportOf("mark.json");
        const double handError = byHand["tracking_error_px"].toObject()["mean"].toDouble(-1);
        const double markError = byMark["tracking_error_px"].toObject()["mean"].toDouble(-1);
        EXPECT_GE(handError, 0.0);
        EXPECT_GE(markError, 0.0);
        EXPECT_LE(markError, handError * 1.1 + 0.2) << handError;

        // What was chosen is said, and the report records it as used.
        const QJsonObject settings = byMark["settings"].toObject();
        const QJsonObject roi = settings["roi"].toObject();
        EXPECT_TRUE(roi["auto"].toBool());
        EXPECT_TRUE(settings["threshold_from_mark"].toBool());
        const QString said = QString::fromLocal8Bit(chosen.errors);
        EXPECT_TRUE(said.contains(
            QStringLiteral("--roi auto: %1,%2").arg(roi["x"].toInt()).arg(roi["y"].toInt())))
            << chosen.errors.constData();
        EXPECT_TRUE(said.contains(
            QStringLiteral("--threshold mark: %1").arg(settings["threshold"].toInt(-1))))
            << chosen.errors.constData();
        EXPECT_TRUE(byMark["warnings"].isArray());
    }
}

} // namespace
