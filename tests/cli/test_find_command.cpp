// quillmark-find: arguments, exit statuses, the file list, and answers kept in list order
// whatever the number of parallel searches.
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>
#include <sstream>
#include <thread>

#include "cli/find_command.h"
#include "cli/parallel_search.h"

using namespace quillmark::cli;

namespace {

struct Run {
    int status;
    std::string out;
    std::string err;
};

Run run(std::vector<std::string> arguments) {
    std::ostringstream out, err;
    int status = runFind(arguments, out, err);
    return {status, out.str(), err.str()};
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

class TestFindCommand : public QObject {
    Q_OBJECT

  private slots:
    void badArgumentsAreTrouble() {
        QCOMPARE(run({}).status, kExitTrouble);
        QCOMPARE(run({"/tmp"}).status, kExitTrouble);
        QCOMPARE(run({"--jobs", "0", "/tmp", "x"}).status, kExitTrouble);
        QCOMPARE(run({"--bogus", "/tmp", "x"}).status, kExitTrouble);
        Run missing = run({"/no/such/folder", "x"});
        QCOMPARE(missing.status, kExitTrouble);
        QVERIFY(missing.err.find("not a folder") != std::string::npos);
        Run help = run({"--help"});
        QCOMPARE(help.status, kExitMatch);
        QVERIFY(help.out.find("Usage:") != std::string::npos);
    }

    void filesListsTheWalkInOrder() {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("A");
        writeFile(dir.filePath("b.XLSX"), "x");
        writeFile(dir.filePath("a.xls"), "x");
        writeFile(dir.filePath("notes.txt"), "x");
        writeFile(dir.filePath("A/x.xls"), "x");
        Run listed = run({"--files", dir.path().toStdString()});
        QCOMPARE(listed.status, kExitMatch);
        std::string root = dir.path().toStdString() + "/";
        QCOMPARE(listed.out, root + "a.xls\n" + root + "b.XLSX\n" + root + "A/x.xls\n");
        QDir(dir.path()).mkpath("empty");
        QCOMPARE(run({"--files", (dir.path() + "/empty/").toStdString()}).status, kExitNoMatch);
    }

    void searchPrintsMatchesAndExitsLikeGrep() {
        QTemporaryDir dir;
        writeFile(dir.filePath("plain_xls.txt"), "region\tamount\nnorth\t2008\n");
        writeFile(dir.filePath("other_xls.txt"), "nothing here\n");
        std::string folder = dir.path().toStdString();
        Run found = run({"--jobs", "2", folder, "NORTH"});
        QCOMPARE(found.status, kExitMatch);
        QCOMPARE(found.out, folder + "/plain_xls.txt\tplain_xls\n");
        QCOMPARE(run({folder, "absent"}).status, kExitNoMatch);
    }

    void parallelAnswersComeInListOrder() {
        std::vector<std::string> paths;
        for (int i = 0; i < 40; ++i) paths.push_back(std::to_string(i));
        auto slowFirst = [](const std::string& path, const std::string&) {
            // Early entries take longest, so workers finish out of order.
            std::this_thread::sleep_for(std::chrono::milliseconds(40 - std::stoi(path)));
            return path;
        };
        for (unsigned jobs : {1u, 2u, 7u}) {
            std::vector<std::string> seen;
            searchInOrder(paths, "k", jobs, slowFirst,
                          [&](std::size_t index, const std::string& answer) {
                              QCOMPARE(answer, paths[index]);
                              seen.push_back(answer);
                          });
            QCOMPARE(seen, paths);
        }
    }
};

QTEST_GUILESS_MAIN(TestFindCommand)
#include "test_find_command.moc"
