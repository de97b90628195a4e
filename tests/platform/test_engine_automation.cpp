// The embedded engine as an automation server: member names without regard to case, the
// Workbooks/Worksheets/Sheets collections, Range.Find and FindAll, and failures as values.
#include <QTemporaryDir>
#include <QtTest>

#include "platform/automation.h"
#include "platform/engine_automation.h"

using namespace quillmark;
using namespace quillmark::automation;

namespace {

Object openBook(const std::string& path) {
    auto application = createObject("excel.application");  // identifiers ignore case too
    if (!application) return {};
    auto workbooks = application.value().getObject("WORKBOOKS");
    if (!workbooks || !workbooks.value().call("open", {Variant(path)})) return {};
    return application.value();
}

}  // namespace

class TestEngineAutomation : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::string bookPath;

  private slots:
    void initTestCase() {
        QFile file(dir.filePath("ledger_xls.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("name,amount\n\"Smith, J\",2008\nTotal,=SUM(B2)\n");
        file.close();
        bookPath = file.fileName().toStdString();
    }

    void worksheetsCountAndItems() {
        Object application = openBook(bookPath);
        QVERIFY(!application.isNothing());
        auto worksheets = application.getObject("Worksheets");
        QVERIFY(worksheets);
        auto count = worksheets.value().get("count");
        QVERIFY(count);
        QCOMPARE(std::get<std::int64_t>(count.value()), std::int64_t(1));
        auto first = application.getObject("Worksheets", {Variant(std::int64_t(1))});
        QVERIFY(first);
        auto name = first.value().get("Name");
        QCOMPARE(std::get<std::string>(name.value()), std::string("ledger_xls"));
        // By name, without regard to case, through either collection.
        QVERIFY(application.getObject("Sheets", {Variant(std::string("LEDGER_XLS"))}));
        QVERIFY(!application.getObject("Worksheets", {Variant(std::int64_t(2))}));
        QVERIFY(!application.getObject("Worksheets", {Variant(std::string("nope"))}));
    }

    void findReturnsTheCellOrNothing() {
        Object application = openBook(bookPath);
        auto sheet = application.getObject("Worksheets", {Variant(std::int64_t(1))});
        auto cells = sheet.value().getObject("Cells").value().getObject("Cells");
        QVERIFY(cells);
        auto hit = cells.value().getObject("Find", {Variant(std::string("smith"))});
        QVERIFY(hit);
        QCOMPARE(std::get<std::string>(hit.value().get("Address").value()), std::string("$A$2"));
        auto formula = cells.value().getObject("find", {Variant(std::string("sum("))});
        QVERIFY(formula);
        QCOMPARE(std::get<std::int64_t>(formula.value().get("Row").value()), std::int64_t(3));
        auto missing = cells.value().get("find", {Variant(std::string("absent"))});
        QVERIFY(missing);
        QVERIFY(std::holds_alternative<std::monostate>(missing.value()));
        auto empty = cells.value().get("find", {Variant(std::string())});
        QVERIFY(std::holds_alternative<std::monostate>(empty.value()));
    }

    void findAll_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("items");  // Row,Column,Address,Text per item
        // clang-format off
        QTest::newRow("values") << "a" << qint64(10) << qint64(3) << "1,1,$A$1,name|1,2,$B$1,amount|3,1,$A$3,Total";
        QTest::newRow("formula text") << "sum(" << qint64(10) << qint64(1) << "3,2,$B$3,=SUM(B2)";
        // Count is every matching cell; only the first Limit are items.
        QTest::newRow("limited") << "a" << qint64(1) << qint64(3) << "1,1,$A$1,name";
        QTest::newRow("nowhere") << "absent" << qint64(10) << qint64(0) << "";
        // clang-format on
    }

    void findAll() {
        QFETCH(QString, keyword);
        QFETCH(qint64, limit);
        QFETCH(qint64, count);
        QFETCH(QString, items);
        Object application = openBook(bookPath);
        auto sheet = application.getObject("Worksheets", {Variant(std::int64_t(1))});
        auto cells = sheet.value().getObject("Cells");
        auto found = cells.value().getObject(
            "FindAll", {Variant(keyword.toStdString()), Variant(std::int64_t(limit))});
        QVERIFY(found);
        QCOMPARE(std::get<std::int64_t>(found.value().get("Count").value()), count);
        QStringList got;
        for (std::int64_t i = 1; i <= std::min(count, limit); ++i) {
            auto item = found.value().getObject("Item", {Variant(i)});
            QVERIFY(item);
            got << QString("%1,%2,%3,%4")
                       .arg(std::get<std::int64_t>(item.value().get("Row").value()))
                       .arg(std::get<std::int64_t>(item.value().get("Column").value()))
                       .arg(QString::fromStdString(
                           std::get<std::string>(item.value().get("Address").value())))
                       .arg(QString::fromStdString(
                           std::get<std::string>(item.value().get("Text").value())));
        }
        QCOMPARE(got.join("|"), items);
        QVERIFY(!found.value().get("Item", {Variant(std::min(count, limit) + 1)}));
        QVERIFY(
            !cells.value().get("FindAll", {Variant(std::string("a")), Variant(std::int64_t(-1))}));
    }

    void quitTwiceThroughSheetAndDirectly() {
        Object application = openBook(bookPath);
        auto sheet = application.getObject("Worksheets", {Variant(std::int64_t(1))});
        auto viaSheet = sheet.value().getObject("Application");
        QVERIFY(viaSheet);
        QVERIFY(viaSheet.value().call("quit"));
        QVERIFY(application.call("Quit"));
        // After quitting, the application no longer serves its workbooks.
        QVERIFY(!application.get("Worksheets"));
    }

    void failuresAreValuesWithReasons() {
        auto application = createObject("Excel.Application").take();
        auto unknown = application.get("NoSuchThing");
        QVERIFY(!unknown);
        QCOMPARE(unknown.failure().kind, CallFailureKind::NoSuchMember);
        QVERIFY(!application.get("Worksheets"));  // no workbook open yet
        auto workbooks = application.getObject("Workbooks").take();
        auto missing = workbooks.call("Open", {Variant(dir.filePath("none.xls").toStdString())});
        QVERIFY(!missing);
        QCOMPARE(missing.failure().kind, CallFailureKind::Engine);
        QCOMPARE(missing.failure().engineKind, std::optional(FailureKind::Unreadable));
        QVERIFY(!createObject("Word.Application"));
        QVERIFY(!Object().get("Anything"));
    }
};

QTEST_GUILESS_MAIN(TestEngineAutomation)
#include "test_engine_automation.moc"
