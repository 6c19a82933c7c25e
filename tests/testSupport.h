// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "common/refusal.h"
#include "tools/syntheticVideo.h"

// Qt's geometry in test failures as numbers rather than raw bytes.
void PrintTo(const QPoint& point, std::ostream* out);
void PrintTo(const QSize& size, std::ostream* out);
void PrintTo(const QRect& rect, std::ostream* out);

// A fresh temporary directory that is also the working directory (the event
// log is written there) for the lifetime of the object.
class MainWindow;
class QFileDialog;

class TemporaryWorkingDirectory {
  public:
    TemporaryWorkingDirectory();
    ~TemporaryWorkingDirectory();
    TemporaryWorkingDirectory(const TemporaryWorkingDirectory&) = delete;
    TemporaryWorkingDirectory& operator=(const TemporaryWorkingDirectory&) = delete;

    const std::filesystem::path& path() const { return directory; }
    std::string file(const std::string& name) const { return (directory / name).string(); }

  private:
    std::filesystem::path directory;
    std::filesystem::path previous;
};

QByteArray readBytes(const std::string& path);

// Whether `refusal` of a table file `path` names line `line` (from 1, the
// header row): "path:line: ...".
::testing::AssertionResult refusedOnLine(const Refusal& refusal, const char* path, int line);
// The event log of the current working directory, split into lines (without
// their newline characters; an empty line stays an empty string).
QList<QByteArray> logLines();

// Every entry of the working directory by name, with what it is: "file " and
// the bytes of a regular file, "link " and the target of a symbolic link,
// "directory", "fifo" or "other". Two snapshots are equal when no file was
// created, removed, renamed or changed.
std::map<std::string, std::string> directorySnapshot();

// Writes a synthetic video to `path` and returns the path as a QString.
QString writeVideo(const std::string& path, const SyntheticVideoSpec& spec);

// The demo video (the defaults of SyntheticVideoSpec) and its truth, made once
// per build tree and shared by every test process that only reads them. A test
// that may change or damage its video makes its own.
struct DemoFiles {
    QString video;
    QString truth;
};
std::optional<DemoFiles> sharedDemoVideo();

// Tests of runs on the shared demo video, each in a working directory of its
// own. The stone leaves the imaging plane at about 3.9 s and 10.1 s.
class OnTheDemoVideo : public testing::Test {
  protected:
    static void SetUpTestSuite();

    static inline QString video;
    static inline QString truth;
    TemporaryWorkingDirectory directory;
};

// Answers the open-file dialog that the window under construction will show:
// once the dialog is up, `whileOpen` runs on it (a test lets time pass there),
// then `path` is put into its name field and Return pressed, as a user would.
void answerFileDialog(const QString& path, std::function<void(QFileDialog&)> whileOpen = {});

// A window on `video` whose frame clock is stopped, so that the test ticks it.
// A window that could not open its video comes back as it is (not ready).
std::unique_ptr<MainWindow> openWindowForTicking(const QString& video);

// What a program run to its end left: its exit code (-1 where it was ended by
// a signal or did not end within `timeoutMs`) and what it wrote.
struct ProgramOutput {
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};
ProgramOutput runToEnd(const char* program, const QStringList& arguments, int timeoutMs = 120000);
