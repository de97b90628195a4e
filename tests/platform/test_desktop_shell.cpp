// The file addresses the shell is handed: exact path bytes must survive the trip, including
// names that are not valid UTF-8 and characters that mean something inside an address.
#include <QTest>
#include <QUrl>

#include "platform/shell.h"

using quillmark::platform::fileUrlForPath;

class TestDesktopShell : public QObject {
    Q_OBJECT

  private slots:
    void addressKeepsThePathBytes_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("url");
        QTest::newRow("plain") << QByteArray("/data/book.xlsx")
                               << QByteArray("file:///data/book.xlsx");
        QTest::newRow("reserved characters")
            << QByteArray("/data/Q1 #2 100%?.xlsx")
            << QByteArray("file:///data/Q1%20%232%20100%25%3F.xlsx");
        QTest::newRow("not UTF-8")
            << QByteArray("/data/caf\xE9.xlsx") << QByteArray("file:///data/caf%E9.xlsx");
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

QTEST_MAIN(TestDesktopShell)
#include "test_desktop_shell.moc"
