// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/testSupport.h"

#include "app/MainWindow.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>
#include <QtTest/QTest>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

TemporaryWorkingDirectory::TemporaryWorkingDirectory() : previous(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessavolant-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    directory = pattern;
    std::filesystem::current_path(directory);
}

TemporaryWorkingDirectory::~TemporaryWorkingDirectory() {
    std::filesystem::current_path(previous);
    std::error_code ignored;
    std::filesystem::permissions(directory, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(directory, ignored);
}

::testing::AssertionResult refusedOnLine(const Refusal& refusal, const char* path, int line) {
    const QString& message = refusal.message;
    if (!message.startsWith(QStringLiteral("%1:%2: ").arg(QLatin1String(path)).arg(line))) {
        return ::testing::AssertionFailure()
               << "not on line " << line << ": " << message.toStdString();
    }
    return ::testing::AssertionSuccess();
}

QByteArray readBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

std::map<std::string, std::string> directorySnapshot() {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::directory_iterator(".")) {
        const std::string name = entry.path().filename().string();
        const fs::file_status status = entry.symlink_status();
        if (fs::is_symlink(status)) {
            entries[name] = "link " + fs::read_symlink(entry.path()).string();
        } else if (fs::is_regular_file(status)) {
            entries[name] = "file " + readBytes(entry.path().string()).toStdString();
        } else if (fs::is_directory(status)) {
            entries[name] = "directory";
        } else if (fs::is_fifo(status)) {
            entries[name] = "fifo";
        } else {
            entries[name] = "other";
        }
    }
    return entries;
}

QList<QByteArray> logLines() {
    QList<QByteArray> lines = readBytes("loggfile.txt").split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

QString writeVideo(const std::string& path, const SyntheticVideoSpec& spec) {
    if (!writeSyntheticVideo(path, "", spec)) {
        throw std::runtime_error("cannot write the test video " + path);
    }
    return QString::fromStdString(path);
}

namespace {

// An exclusive lock on a file, held for the object's life; another process
// asking for it waits until it is released.
class FileLock {
  public:
    explicit FileLock(const std::filesystem::path& path)
        : descriptor(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        while (descriptor >= 0 && ::flock(descriptor, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int descriptor;
};

} // namespace

std::optional<DemoFiles> sharedDemoVideo() {
    namespace fs = std::filesystem;
    const fs::path directory = TESSAVOLANT_TEST_CACHE;
    const fs::path video = directory / "demo.avi";
    const fs::path truth = directory / "demo.csv";
    std::error_code error;
    fs::create_directories(directory, error);
    // Making the demo takes seconds, most of what a replay test costs, so one
    // process makes it while the others wait. A copy older than this test
    // program may come from another generator and is made again; the parts are
    // written under other names and renamed, so a run cut off halfway leaves
    // no half video behind.
    const FileLock lock(directory / "demo.lock");
    const auto madeSince = [&error](const fs::path& file, fs::file_time_type moment) {
        return fs::exists(file, error) && fs::last_write_time(file, error) >= moment;
    };
    const fs::file_time_type built = fs::last_write_time("/proc/self/exe", error);
    if (error || !madeSince(video, built) || !madeSince(truth, built)) {
        const fs::path videoPart = directory / "demo-part.avi";
        const fs::path truthPart = directory / "demo-part.csv";
        if (!writeSyntheticVideo(videoPart.string(), truthPart.string(), SyntheticVideoSpec{})) {
            return std::nullopt;
        }
        fs::rename(truthPart, truth, error);
        if (!error) {
            fs::rename(videoPart, video, error);
        }
        if (error) {
            return std::nullopt;
        }
    }
    return DemoFiles{QString::fromStdString(video.string()),
                     QString::fromStdString(truth.string())};
}

void OnTheDemoVideo::SetUpTestSuite() {
    const std::optional<DemoFiles> demo = sharedDemoVideo();
    ASSERT_TRUE(demo) << "cannot make the demo video in " << TESSAVOLANT_TEST_CACHE;
    video = demo->video;
    truth = demo->truth;
}

void answerFileDialog(const QString& path, std::function<void(QFileDialog&)> whileOpen) {
    QTimer::singleShot(0, [path, whileOpen] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        if (whileOpen) {
            whileOpen(*dialog);
        }
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "Return did not accept the dialog";
            dialog->reject();
        }
    });
}

std::unique_ptr<MainWindow> openWindowForTicking(const QString& video) {
    auto window = std::make_unique<MainWindow>(nullptr, video);
    if (window->isReady()) {
        window->timer->stop();
    }
    return window;
}

void PrintTo(const QPoint& point, std::ostream* out) {
    *out << "(" << point.x() << ", " << point.y() << ")";
}

void PrintTo(const QSize& size, std::ostream* out) {
    *out << size.width() << " x " << size.height();
}

void PrintTo(const QRect& rect, std::ostream* out) {
    *out << "(" << rect.x() << ", " << rect.y() << ") " << rect.width() << " x " << rect.height();
}

ProgramOutput runToEnd(const char* program, const QStringList& arguments, int timeoutMs) {
    QProcess process;
    process.start(QString::fromLocal8Bit(program), arguments);
    ProgramOutput run;
    if (process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit) {
        run.exitCode = process.exitCode();
    }
    run.output = process.readAllStandardOutput();
    run.errors = process.readAllStandardError();
    return run;
}
