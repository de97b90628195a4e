// The one-workbook search against a recording fake automation server: the calls it makes,
// in order, and the answer it forms, on good, broken and empty workbooks.
#include <QtTest>

#include "platform/automation.h"
#include "platform/engine_automation.h"
#include "search/workbook_search.h"

using namespace quillmark;
using namespace quillmark::automation;

namespace {

struct FakeSheet {
    std::string name;
    bool hasKeyword = false;
    bool findFails = false;
};

struct FakeServer {
    std::vector<FakeSheet> sheets;
    bool openFails = false;
    std::vector<std::string> log;
    std::string keywordSeen;
};

std::string describe(const Arguments& arguments) {
    std::string text;
    for (const Variant& argument : arguments) {
        if (!text.empty()) text += ",";
        if (const auto* s = std::get_if<std::string>(&argument)) text += *s;
        if (const auto* i = std::get_if<std::int64_t>(&argument)) text += std::to_string(*i);
    }
    return text;
}

// One fake object: every call is logged as "<label>.<member>(<arguments>)".
class FakeObject final : public Dispatch {
  public:
    FakeObject(FakeServer& server, std::string label, int sheet = -1)
        : server_(server), label_(std::move(label)), sheet_(sheet) {}

    CallOutcome invoke(std::string_view member, Invoke, const Arguments& arguments) override {
        server_.log.push_back(label_ + "." + std::string(member) + "(" + describe(arguments) + ")");
        if (label_ == "app") return application(member, arguments);
        if (sameMember(member, "Open"))
            return server_.openFails ? CallOutcome(fail(FailureKind::Corrupt, "bad file"))
                                     : Variant();
        if (sameMember(member, "Count")) return Variant(std::int64_t(server_.sheets.size()));
        if (sameMember(member, "name")) return Variant(server_.sheets[sheet_].name);
        if (sameMember(member, "Application")) return object("app");
        if (sameMember(member, "Cells")) return object("cells", sheet_);
        if (sameMember(member, "find")) {
            server_.keywordSeen = std::get<std::string>(arguments.at(0));
            const FakeSheet& sheet = server_.sheets[sheet_];
            if (sheet.findFails) return fail(FailureKind::Corrupt, "unreadable sheet");
            return sheet.hasKeyword ? object("range", sheet_) : Variant();
        }
        return noSuchMember(member);
    }

  private:
    CallOutcome application(std::string_view member, const Arguments& arguments) {
        if (sameMember(member, "workbooks")) return object("workbooks");
        if (sameMember(member, "quit")) return Variant();
        if (sameMember(member, "Worksheets")) {
            if (arguments.empty()) return object("worksheets");
            const Variant& key = arguments[0];
            if (const auto* position = std::get_if<std::int64_t>(&key))
                return object("sheet" + std::to_string(*position), int(*position - 1));
            for (std::size_t i = 0; i < server_.sheets.size(); ++i)
                if (server_.sheets[i].name == std::get<std::string>(key))
                    return object("sheet:" + server_.sheets[i].name, int(i));
            return fail(FailureKind::BadArgument, "no such sheet");
        }
        return noSuchMember(member);
    }

    CallOutcome object(std::string label, int sheet = -1) {
        return Variant(DispatchRef(std::make_shared<FakeObject>(server_, std::move(label), sheet)));
    }

    FakeServer& server_;
    std::string label_;
    int sheet_;
};

std::vector<std::string> tail(const std::vector<std::string>& log, std::size_t count) {
    return {log.end() - std::min(count, log.size()), log.end()};
}

}  // namespace

class TestWorkbookSearch : public QObject {
    Q_OBJECT

    FakeServer server;

    void serve() {
        registerFactory(std::string(kExcelApplication), [this]() -> Outcome<Object> {
            return Object(std::make_shared<FakeObject>(server, "app"));
        });
    }

  private slots:
    void init() {
        server = FakeServer{};
        serve();
    }
    void cleanupTestCase() {
        registerFactory(std::string(kExcelApplication), createEngineApplication);
    }

    void joinsMatchingSheetsInOrderAndQuitsTwice() {
        server.sheets = {{"Sales", true}, {"Costs", false}, {"Notes", true}};
        QCOMPARE(search::FindinExcel("/data/book.xlsx", "total"), std::string("Sales,Notes"));
        const std::vector<std::string> expectedStart = {
            "app.workbooks()",       "workbooks.Open(/data/book.xlsx)",
            "app.Worksheets()",      "worksheets.Count()",
            "app.Worksheets(1)",     "sheet1.name()",
            "app.Worksheets(Sales)", "sheet:Sales.Cells()",
            "cells.Cells()",         "cells.find(total)",
            "app.Worksheets(1)",     "sheet1.name()"};
        QCOMPARE(std::vector<std::string>(server.log.begin(), server.log.begin() + 12),
                 expectedStart);
        // Shut-down: through the last sheet obtained, then directly.
        const std::vector<std::string> expectedEnd = {"sheet:Notes.Application()", "app.quit()",
                                                      "app.quit()"};
        QCOMPARE(tail(server.log, 3), expectedEnd);
    }

    void noMatchStillQuitsTwice() {
        server.sheets = {{"Sheet1", false}};
        QCOMPARE(search::FindinExcel("/b.xls", "absent"), std::string());
        const std::vector<std::string> expectedEnd = {"sheet:Sheet1.Application()", "app.quit()",
                                                      "app.quit()"};
        QCOMPARE(tail(server.log, 3), expectedEnd);
    }

    void sheetNameWithCommaStaysAsItIs() {
        server.sheets = {{"Q1,Q2", true}, {"Plan", true}};
        QCOMPARE(search::FindinExcel("/b.xlsx", "x"), std::string("Q1,Q2,Plan"));
    }

    void keywordPassesUnchanged() {
        server.sheets = {{"Sheet1", false}};
        search::FindinExcel("/b.xlsx", "  Café ~* ");
        QCOMPARE(server.keywordSeen, std::string("  Café ~* "));
    }

    void unsearchableSheetIsPassedOver() {
        server.sheets = {{"Sales", true}, {"Broken", false, true}, {"Notes", true}};
        QCOMPARE(search::FindinExcel("/b.xlsx", "x"), std::string("Sales,Notes"));
    }

    void unopenableWorkbookGivesEmptyAnswerAndQuitsDirectly() {
        server.sheets = {{"Sales", true}};
        server.openFails = true;
        QCOMPARE(search::FindinExcel("/b.xlsx", "x"), std::string());
        const std::vector<std::string> expected = {"app.workbooks()", "workbooks.Open(/b.xlsx)",
                                                   "app.quit()"};
        QCOMPARE(server.log, expected);
    }

    void noWorksheetsMeansNoQuitThroughASheet() {
        QCOMPARE(search::FindinExcel("/b.xlsx", "x"), std::string());
        const std::vector<std::string> expectedEnd = {"worksheets.Count()", "app.quit()"};
        QCOMPARE(tail(server.log, 2), expectedEnd);
    }

    void serverThatCannotBeCreated() {
        unregisterFactory(kExcelApplication);
        QCOMPARE(search::FindinExcel("/b.xlsx", "x"), std::string());
        QVERIFY(server.log.empty());
    }
};

QTEST_GUILESS_MAIN(TestWorkbookSearch)
#include "test_workbook_search.moc"
