// SPDX-License-Identifier: GPL-3.0-or-later
// The dependency rule of docs/architecture.md, held on the source tree: the
// libraries form one line, report -> evaluation -> simulation -> tracking ->
// log -> common, each folder including only itself and the folders after it;
// nothing below the window includes app/, except the window's own member
// functions that live in tracking/, simulation/ and log/; the two programs
// beside the window do not include each other; no include loops between
// files (a header and its .cpp taken as one).

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

using SourceTree = std::map<QString, QString>; // path from the root -> content

const QStringList libraryLine = {"common", "log", "tracking", "simulation", "evaluation", "report"};

QString folderOf(const QString& path) {
    return path.section('/', 0, 0);
}

QString moduleOf(const QString& path) {
    return path.left(path.lastIndexOf('.'));
}

// The project's own includes of `content`: "folder/file.h", and the form's
// generated header as part of app/.
QStringList includesOf(const QString& content) {
    static const QRegularExpression include(R"re(^\s*#\s*include\s+"([^"]+)")re",
                                            QRegularExpression::MultilineOption);
    QStringList found;
    for (auto match = include.globalMatch(content); match.hasNext();) {
        const QString name = match.next().captured(1);
        if (!name.contains('/') && name != QLatin1String("ui_MainWindow.h")) {
            continue; // generated beside the build: "version.h"
        }
        found.append(name == QLatin1String("ui_MainWindow.h") ? QStringLiteral("app/MainWindow.ui")
                                                              : name);
    }
    return found;
}

bool isWindowMemberFile(const QString& path, const QString& content) {
    return QStringList{"tracking", "simulation", "log"}.contains(folderOf(path)) &&
           content.contains(QRegularExpression(R"(\bMainWindow::\w+\s*\()"));
}

// Whether a file of `from` may include one of `to`.
bool mayInclude(const QString& from, const QString& to) {
    if (from == to) {
        return true;
    }
    const qsizetype fromRank = libraryLine.indexOf(from);
    if (fromRank >= 0) {
        const qsizetype toRank = libraryLine.indexOf(to);
        return toRank >= 0 && toRank < fromRank;
    }
    if (from == QLatin1String("app")) {
        return libraryLine.indexOf(to) >= 0 && libraryLine.indexOf(to) <= 3;
    }
    if (from == QLatin1String("replay") || from == QLatin1String("annotate")) {
        return to != QLatin1String("replay") && to != QLatin1String("annotate");
    }
    return true; // tests, benchmarks and tools use whatever they exercise
}

// Every breach of the rule in `tree`, one sentence each.
QStringList violations(const SourceTree& tree) {
    QStringList found;
    std::map<QString, std::set<QString>> edges; // module -> modules it includes
    for (const auto& [path, content] : tree) {
        const QString from = folderOf(path);
        const bool member = isWindowMemberFile(path, content);
        for (const QString& included : includesOf(content)) {
            const QString to = folderOf(included);
            if (member && to == QLatin1String("app")) {
                continue; // the window's own code, which the layout keeps here
            }
            if (!mayInclude(from, to)) {
                found.append(QStringLiteral("%1 includes %2").arg(path, included));
            }
            if (tree.count(included) || tree.count(moduleOf(included) + ".cpp")) {
                edges[moduleOf(path)].insert(moduleOf(included));
            }
        }
    }
    // Include loops: a depth-first search that reports each loop it closes.
    std::map<QString, int> state; // 0 unseen, 1 on the path, 2 done
    QStringList path;
    std::function<void(const QString&)> visit = [&](const QString& module) {
        state[module] = 1;
        path.append(module);
        for (const QString& next : edges[module]) {
            if (next == module) {
                continue;
            }
            if (state[next] == 1) {
                found.append(
                    QStringLiteral("include loop: %1 -> %2")
                        .arg(path.mid(path.indexOf(next)).join(QStringLiteral(" -> ")), next));
            } else if (state[next] == 0) {
                visit(next);
            }
        }
        path.removeLast();
        state[module] = 2;
    };
    for (const auto& [module, unused] : edges) {
        if (state[module] == 0) {
            visit(module);
        }
    }
    return found;
}

SourceTree sourceTree(const QString& root) {
    SourceTree tree;
    const QStringList folders = libraryLine + QStringList{"app", "replay", "annotate"};
    for (const QString& folder : folders) {
        QDirIterator files(root + '/' + folder, {"*.h", "*.cpp"}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
            tree[QDir(root).relativeFilePath(file.fileName())] = QString::fromUtf8(file.readAll());
        }
    }
    return tree;
}

TEST(Architecture, TheSourceTreeKeepsTheDependencyRule) {
    const SourceTree tree = sourceTree(QStringLiteral(TESSAVOLANT_SOURCE_DIR));
    ASSERT_GT(tree.size(), 100u) << "the source tree was not found";
    const QStringList found = violations(tree);
    EXPECT_TRUE(found.isEmpty()) << found.join('\n').toStdString();
}

// The check itself, on small trees whose breaches are known.
TEST(Architecture, TheCheckFindsEveryKindOfBreach) {
    const struct {
        const char* what;
        SourceTree tree;
        QStringList expected;
    } cases[] = {
        {"a library including one above it",
         {{"tracking/a.cpp", "#include \"evaluation/b.h\"\n"}, {"evaluation/b.h", ""}},
         {"tracking/a.cpp includes evaluation/b.h"}},
        {"the window including the reports",
         {{"app/w.cpp", "#include \"report/p.h\"\n#include \"simulation/s.h\"\n"},
          {"report/p.h", ""},
          {"simulation/s.h", ""}},
         {"app/w.cpp includes report/p.h"}},
        {"a library including the window without being its member",
         {{"simulation/s.cpp", "#include \"app/MainWindow.h\"\nint f() { return 1; }\n"},
          {"app/MainWindow.h", ""}},
         {"simulation/s.cpp includes app/MainWindow.h"}},
        {"the window's member function where the layout keeps it",
         {{"simulation/s.cpp", "#include \"app/MainWindow.h\"\nvoid MainWindow::skyt() {}\n"},
          {"app/MainWindow.h", "#include \"simulation/s.h\"\n"},
          {"simulation/s.h", ""}},
         {}},
        {"one program including the other",
         {{"annotate/a.cpp", "#include \"replay/r.h\"\n"}, {"replay/r.h", ""}},
         {"annotate/a.cpp includes replay/r.h"}},
        {"a loop through a header and its .cpp",
         {{"evaluation/a.h", ""},
          {"evaluation/a.cpp", "#include \"evaluation/b.h\"\n"},
          {"evaluation/b.h", "#include \"evaluation/a.h\"\n"}},
         {"include loop: evaluation/a -> evaluation/b -> evaluation/a"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(violations(c.tree), c.expected) << c.what;
    }
}

} // namespace
