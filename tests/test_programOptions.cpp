// SPDX-License-Identifier: GPL-3.0-or-later
// The options every program has: --help (which wins over --version) and
// --version, in both spellings, answered with the program's own name; and
// how every program says a refusal and ends.

#include "common/programMessages.h"
#include "common/programOptions.h"
#include "version.h"

#include <QCommandLineParser>
#include <gtest/gtest.h>

namespace {

std::optional<QString> answerTo(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Does one thing.");
    const StandardOptions standard(parser);
    parser.addOption(QCommandLineOption("rate", "Shots per minute.", "N"));
    parser.addPositionalArgument("VIDEO", "The recording.");
    EXPECT_TRUE(parser.parse(QStringList{"some-program"} + arguments));
    return standard.answer(parser, "some-program", "[options] VIDEO");
}

TEST(StandardOptions, HelpAndVersionAreAnsweredWithTheProgramsName) {
    const QString version =
        QStringLiteral("some-program %1\n%2\n").arg(tessavolantVersion, tessavolantLicence);
    const struct {
        QStringList arguments;
        std::optional<QString> firstLine; // none: no answer, the program runs
    } cases[] = {
        {{"-h"}, "Usage: some-program [options] VIDEO"},
        {{"--help", "x.avi"}, "Usage: some-program [options] VIDEO"},
        {{"--version", "--help"}, "Usage: some-program [options] VIDEO"},
        {{"-v"}, version.section('\n', 0, 0)},
        {{"--rate", "70", "--version"}, version.section('\n', 0, 0)},
        {{"--rate", "70", "x.avi"}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const std::optional<QString> answer = answerTo(c.arguments);
        ASSERT_EQ(answer.has_value(), c.firstLine.has_value());
        if (!answer) {
            continue;
        }
        EXPECT_TRUE(answer->endsWith('\n'));
        EXPECT_EQ(answer->section('\n', 0, 0), *c.firstLine);
        if (answer->startsWith("Usage:")) {
            // The parser's own first line is replaced, not repeated.
            EXPECT_EQ(answer->count("Usage:"), 1) << answer->toStdString();
            EXPECT_TRUE(answer->contains("Does one thing.\n"));
            EXPECT_TRUE(answer->contains("-h, --help"));
            EXPECT_TRUE(answer->contains("-v, --version"));
            EXPECT_TRUE(answer->contains("--rate <N>"));
        } else {
            EXPECT_EQ(*answer, version);
        }
    }
}

// A refusal passed on ends the program with its exit code; wrong usage says
// where to read on, in the program's own words where it has them.
TEST(ProgramMessages, ARefusalIsSaidOnceAndGivesItsExitCode) {
    const struct {
        const char* usageLine;
        Refusal refusal;
        std::string said;
    } cases[] = {
        {nullptr, {"cannot write \"r\u00e9.json\""}, "p: cannot write \"r\u00e9.json\"\n"},
        {nullptr,
         {"--rate: expected a number", exitUsage},
         "p: --rate: expected a number\nTry 'p --help'.\n"},
        {"usage: p [VIDEO]",
         {"one video at most", exitUsage},
         "p: one video at most\nusage: p [VIDEO]\n"},
        {"usage: p [VIDEO]", {"no video was chosen", exitFailure}, "p: no video was chosen\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        const ProgramMessages messages("p", c.usageLine);
        testing::internal::CaptureStderr();
        const int code = messages.refuse(c.refusal);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.said);
        EXPECT_EQ(code, c.refusal.exitCode);
    }
}

} // namespace
