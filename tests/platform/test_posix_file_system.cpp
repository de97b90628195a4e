// The POSIX folder listing: wildcard matching, which kinds of entry each mask lets through,
// the listing order, and the empty answers that stand for every failure; and the file
// addresses paths become for the desktop shell.
#include <QTest>
#include <QUrl>

#include "platform/file_system.h"
#include "platform/shell.h"
#include "temporary_tree.h"

using namespace quillmark::platform;
using quillmark::testing::TemporaryTree;
using Names = std::vector<std::string>;

class TestPosixFileSystem : public QObject {
    Q_OBJECT

    TemporaryTree tree_{{"b.xls", "B.xls", "a.XLS", "\xC3\x84rger.xls", "\xC3\xA9.xls", "notes.txt",
                         ".x.xls", "Folder.xls/", "pipe.xls|", "folder-link>Folder.xls",
                         "dangling.xls>missing"}};
    const std::string root_ = tree_.root();

  private slots:
    // Ties in folded order go to the smaller bytes: "B.xls" before "b.xls".
    void listing_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("withFolders");
        QTest::addColumn<QString>("names");  // joined by "|"
        // clang-format off
        QTest::newRow("*xls* in case-ignoring order") << "*xls*" << false << ".x.xls|a.XLS|B.xls|b.xls|\u00c4rger.xls|\u00e9.xls";
        QTest::newRow("? is one character") << "?.xls" << false << "a.XLS|B.xls|b.xls|\u00e9.xls";
        QTest::newRow("case folded beyond ASCII") << "\u00e4RGER*" << false << "\u00c4rger.xls";
        QTest::newRow("suffix") << "*.txt" << false << "notes.txt";
        QTest::newRow("whole name only") << "notes" << false << "";
        QTest::newRow("folders and links to them") << "*" << true << ".x.xls|a.XLS|B.xls|b.xls|folder-link|Folder.xls|notes.txt|\u00c4rger.xls|\u00e9.xls";
        // clang-format on
    }
    void listing() {
        QFETCH(QString, pattern);
        QFETCH(bool, withFolders);
        QFETCH(QString, names);
        QStringList got;
        for (const std::string& name : nativeFileSystem().list(
                 root_, pattern.toStdString(), withFolders ? kListWithFolders : kListFilesOnly))
            got << QString::fromStdString(name);
        QCOMPARE(got.join('|'), names);
    }

    void attributesFollowLinks() {
        FileSystem& fileSystem = nativeFileSystem();
        QCOMPARE(fileSystem.attributes(root_ + "Folder.xls"), std::optional(kAttributeFolder));
        QCOMPARE(fileSystem.attributes(root_ + "folder-link"), std::optional(kAttributeFolder));
        QCOMPARE(fileSystem.attributes(root_ + "b.xls"), std::optional(0u));
        QCOMPARE(fileSystem.attributes(root_ + "pipe.xls"), std::optional(0u));
        QCOMPARE(fileSystem.attributes(root_ + "dangling.xls"), std::nullopt);
        QVERIFY(fileSystem.identity(root_ + "folder-link") ==
                fileSystem.identity(root_ + "Folder.xls/"));
        QVERIFY(!fileSystem.identity(root_ + "missing"));
    }

    // The listing answers the walk's one question per entry; a change after that answer, or
    // after half a second, is seen at the next question.
    void attributesAfterAListingSeeTheFolderChange() {
        TemporaryTree changing({"early", "late"});
        const std::string folder = changing.root();
        const std::string early = folder + "early", late = folder + "late";
        FileSystem& fileSystem = nativeFileSystem();
        QCOMPARE(fileSystem.list(folder, "*", kListWithFolders), (Names{"early", "late"}));
        QCOMPARE(fileSystem.attributes(early), std::optional(0u));
        for (const std::string& entry : {early, late})
            QVERIFY(::unlink(entry.c_str()) == 0 && ::mkdir(entry.c_str(), 0755) == 0);
        QCOMPARE(fileSystem.attributes(early), std::optional(kAttributeFolder));
        QTest::qWait(600);
        QCOMPARE(fileSystem.attributes(late), std::optional(kAttributeFolder));
    }

    void failuresAreEmptyListings() {
        FileSystem& fileSystem = nativeFileSystem();
        QVERIFY(fileSystem.list(root_ + "missing/", "*", kListWithFolders).empty());
        QVERIFY(fileSystem.list(root_ + "b.xls/", "*", kListWithFolders).empty());
        QVERIFY(fileSystem.list(root_ + "pipe.xls/", "*", kListWithFolders).empty());
        const std::string tooLong = root_ + std::string(5000, 'n') + "/";
        QVERIFY(fileSystem.list(tooLong, "*", kListWithFolders).empty());
        QVERIFY(!fileSystem.attributes(tooLong));
        QVERIFY(fileSystem.list(std::string("a\0b/", 4), "*", kListWithFolders).empty());
    }

    // The file addresses the shell is handed: exact path bytes must survive the trip, including
    // names that are not valid UTF-8 and characters that mean something inside an address.
    void addressKeepsThePathBytes_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("url");
        // clang-format off
        QTest::newRow("plain") << QByteArray("/data/book.xlsx") << QByteArray("file:///data/book.xlsx");
        QTest::newRow("reserved characters") << QByteArray("/data/Q1 #2 100%?.xlsx") << QByteArray("file:///data/Q1%20%232%20100%25%3F.xlsx");
        QTest::newRow("not UTF-8") << QByteArray("/data/caf\xE9.xlsx") << QByteArray("file:///data/caf%E9.xlsx");
        // clang-format on
    }
    void addressKeepsThePathBytes() {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, url);
        const std::string got = fileUrlForPath(path.toStdString());
        QCOMPARE(QByteArray::fromStdString(got), url);
        const QUrl address = QUrl::fromEncoded(url);
        QCOMPARE(QByteArray::fromPercentEncoding(address.path(QUrl::FullyEncoded).toLatin1()),
                 path);
    }
};

QTEST_GUILESS_MAIN(TestPosixFileSystem)
#include "test_posix_file_system.moc"
