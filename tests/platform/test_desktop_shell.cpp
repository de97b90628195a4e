// The file addresses the shell is handed: exact path bytes must survive the trip, including
// names that are not valid UTF-8 and characters that mean something inside an address.
#include <QTest>
#include <QUrl>

#include "platform/shell.h"

using quillmark::platform::fileUrlForPath;

class TestDesktopShell : public QObject {
    Q_OBJECT

  private slots:
    void plainPathsStayReadable();
    void reservedCharactersAreEncoded();
    void bytesThatAreNotUtf8SurviveTheAddress();
};

void TestDesktopShell::plainPathsStayReadable() {
    QCOMPARE(fileUrlForPath("/data/book.xlsx"), std::string("file:///data/book.xlsx"));
}

void TestDesktopShell::reservedCharactersAreEncoded() {
    const std::string url = fileUrlForPath("/data/Q1 #2 100%?.xlsx");
    QCOMPARE(url, std::string("file:///data/Q1%20%232%20100%25%3F.xlsx"));
    QCOMPARE(QUrl::fromEncoded(QByteArray::fromStdString(url)).toLocalFile(),
             QString("/data/Q1 #2 100%?.xlsx"));
}

void TestDesktopShell::bytesThatAreNotUtf8SurviveTheAddress() {
    const std::string url = fileUrlForPath("/data/caf\xE9.xlsx");
    QCOMPARE(url, std::string("file:///data/caf%E9.xlsx"));
    const QUrl address = QUrl::fromEncoded(QByteArray::fromStdString(url));
    QCOMPARE(QByteArray::fromPercentEncoding(address.path(QUrl::FullyEncoded).toLatin1()),
             QByteArray("/data/caf\xE9.xlsx"));
}

QTEST_MAIN(TestDesktopShell)
#include "test_desktop_shell.moc"
