// The formula decompiler on hand-made token streams of each dialect: operators as stored,
// functions, references of every kind, shared formulas, constants, and hostile streams.
#include <QTest>
#include <cstring>
#include <map>
#include <vector>

#include "engine/formula/formula_text.h"

using namespace quillmark::engine;

namespace {

// Builds token bytes little-endian, as the files store them.
struct Tokens {
    std::vector<std::uint8_t> bytes;
    Tokens& u8(unsigned value) {
        bytes.push_back(static_cast<std::uint8_t>(value));
        return *this;
    }
    Tokens& u16(unsigned value) { return u8(value & 0xFF).u8((value >> 8) & 0xFF); }
    Tokens& u32(std::uint32_t value) { return u16(value & 0xFFFF).u16(value >> 16); }
    Tokens& f64(double value) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return u32(static_cast<std::uint32_t>(bits)).u32(static_cast<std::uint32_t>(bits >> 32));
    }
    Tokens& append(const Tokens& other) {
        bytes.insert(bytes.end(), other.bytes.begin(), other.bytes.end());
        return *this;
    }
    // BIFF8 tokens.
    Tokens& integer(unsigned value) { return u8(0x1E).u16(value); }
    Tokens& ref8(unsigned row, unsigned column, bool rowRelative = true,
                 bool columnRelative = true) {
        return u8(0x24).u16(row).u16(column | (columnRelative ? 0x4000 : 0) |
                                     (rowRelative ? 0x8000 : 0));
    }
    Tokens& area8(unsigned row1, unsigned row2, unsigned column1, unsigned column2) {
        return u8(0x25).u16(row1).u16(row2).u16(column1 | 0xC000).u16(column2 | 0xC000);
    }
    Tokens& funcVar(unsigned arguments, unsigned index) {
        return u8(0x22).u8(arguments).u16(index);
    }
    Tokens& func(unsigned index) { return u8(0x21).u16(index); }
};

struct Decoded {
    bool ok;
    std::string text;
};

Decoded decode(const std::vector<std::uint8_t>& rgce, FormulaDialect dialect,
               const FormulaContext& context = {}, const std::vector<std::uint8_t>& extra = {}) {
    // Exact-size heap copies, so a read past either span is a heap overflow the sanitizer
    // build reports.
    auto tokens = std::make_unique<std::uint8_t[]>(rgce.size() + 1);
    auto extras = std::make_unique<std::uint8_t[]>(extra.size() + 1);
    if (!rgce.empty()) std::memcpy(tokens.get(), rgce.data(), rgce.size());
    if (!extra.empty()) std::memcpy(extras.get(), extra.data(), extra.size());
    Decoded decoded;
    FormulaTokens formula{Bytes(tokens.get(), rgce.size()), Bytes(extras.get(), extra.size())};
    decoded.ok = appendFormulaText(formula, dialect, context, decoded.text);
    return decoded;
}

std::string biff8(const Tokens& tokens, const FormulaContext& context = {}) {
    Decoded decoded = decode(tokens.bytes, FormulaDialect::Biff8, context);
    return decoded.ok ? decoded.text : "failed: " + decoded.text;
}

FormulaContext sheetsContext() {
    FormulaContext context;
    context.sheetNameForExternIndex = [](std::uint32_t index) -> std::string {
        static const std::map<std::uint32_t, std::string> names = {
            {0, "Sheet2"}, {1, "My Sheet"}, {2, "Jan:Mar"}, {3, "O'Brien"},
            {4, "2019"},   {5, "A1"},       {6, "Données"}, {7, "[1]Prices"}};
        auto found = names.find(index);
        return found == names.end() ? std::string() : found->second;
    };
    context.definedName = [](std::uint32_t index) {
        return index == 1 ? std::string("TaxRate") : std::string();
    };
    context.externalName = [](std::uint32_t, std::uint32_t index) {
        return index == 1 ? std::string("_xlfn.IFERROR") : std::string("MYFUNC");
    };
    return context;
}

}  // namespace

class TestFormulaText : public QObject {
    Q_OBJECT

  private slots:
    void operatorsKeepTheStoredParentheses() {
        Tokens sum;  // 1+2*3
        sum.integer(1).integer(2).integer(3).u8(0x05).u8(0x03);
        QCOMPARE(biff8(sum), std::string("=1+2*3"));

        Tokens grouped;  // (1+2)*3
        grouped.integer(1).integer(2).u8(0x03).u8(0x15).integer(3).u8(0x05);
        QCOMPARE(biff8(grouped), std::string("=(1+2)*3"));

        Tokens unary;  // -A1%^2
        unary.ref8(0, 0).u8(0x13).u8(0x14).integer(2).u8(0x07);
        QCOMPARE(biff8(unary), std::string("=-A1%^2"));

        Tokens text;  // A1&"x"
        text.ref8(0, 0).u8(0x17).u8(1).u8(0).u8('x').u8(0x08);
        QCOMPARE(biff8(text), std::string("=A1&\"x\""));
    }

    void comparisonOperators_data() {
        QTest::addColumn<int>("token");
        QTest::addColumn<QString>("expected");
        QTest::newRow("less") << 0x09 << "=A1<B1";
        QTest::newRow("less or equal") << 0x0A << "=A1<=B1";
        QTest::newRow("equal") << 0x0B << "=A1=B1";
        QTest::newRow("greater or equal") << 0x0C << "=A1>=B1";
        QTest::newRow("greater") << 0x0D << "=A1>B1";
        QTest::newRow("not equal") << 0x0E << "=A1<>B1";
        QTest::newRow("range") << 0x11 << "=A1:B1";
        QTest::newRow("intersection") << 0x0F << "=A1 B1";
    }
    void comparisonOperators() {
        QFETCH(int, token);
        QFETCH(QString, expected);
        Tokens tokens;
        tokens.ref8(0, 0).ref8(0, 1).u8(static_cast<unsigned>(token));
        QCOMPARE(QString::fromStdString(biff8(tokens)), expected);
    }

    void functionsFixedAndVariable() {
        Tokens round;  // ROUND(A1,2): fixed two arguments
        round.ref8(0, 0).integer(2).func(0x1B);
        QCOMPARE(biff8(round), std::string("=ROUND(A1,2)"));

        Tokens now;
        now.func(0x4A);
        QCOMPARE(biff8(now), std::string("=NOW()"));

        Tokens sum;  // SUM(A1:B2,C3,4)
        sum.area8(0, 1, 0, 1).ref8(2, 2).integer(4).funcVar(3, 0x04);
        QCOMPARE(biff8(sum), std::string("=SUM(A1:B2,C3,4)"));

        Tokens conditional;  // IF(A1>0,"yes",) with the jump attributes in between
        conditional.ref8(0, 0).integer(0).u8(0x0D).u8(0x19).u8(0x02).u16(9);
        conditional.u8(0x17).u8(3).u8(0).u8('y').u8('e').u8('s').u8(0x19).u8(0x08).u16(3);
        conditional.u8(0x16).u8(0x19).u8(0x08).u16(3).funcVar(3, 0x01);
        QCOMPARE(biff8(conditional), std::string("=IF(A1>0,\"yes\",)"));

        Tokens attributeSum;  // SUM(A1:A3) written with tAttrSum
        attributeSum.area8(0, 2, 0, 0).u8(0x19).u8(0x10).u16(0);
        QCOMPARE(biff8(attributeSum), std::string("=SUM(A1:A3)"));

        Tokens choose;  // CHOOSE(1,2,3): tAttrChoose carries a jump table of 3 offsets
        choose.integer(1).u8(0x19).u8(0x04).u16(2).u16(6).u16(10).u16(14);
        choose.integer(2).integer(3).funcVar(3, 0x64);
        QCOMPARE(biff8(choose), std::string("=CHOOSE(1,2,3)"));

        Tokens unknownFixed;  // a fixed-argument token for a function that has no fixed count
        unknownFixed.integer(1).func(0x04);
        QVERIFY(!decode(unknownFixed.bytes, FormulaDialect::Biff8).ok);
    }

    void userDefinedAndMacroFunctions() {
        FormulaContext context = sheetsContext();
        Tokens future;  // _xlfn.IFERROR(A1,0): the add-in name is the first argument
        future.u8(0x39).u16(0).u16(1).u16(0).ref8(0, 0).integer(0).funcVar(3, 0xFF);
        QCOMPARE(biff8(future, context), std::string("=IFERROR(A1,0)"));

        Tokens custom;
        custom.u8(0x39).u16(0).u16(2).u16(0).funcVar(1, 0xFF);
        QCOMPARE(biff8(custom, context), std::string("=MYFUNC()"));

        Tokens command;  // ALERT("x",2) on a macro sheet, then its dialog form
        command.u8(0x17).u8(1).u8(0).u8('x').integer(2).funcVar(2, 0x8076);
        QCOMPARE(biff8(command), std::string("=ALERT(\"x\",2)"));
        Tokens prompt;
        prompt.funcVar(0x80, 0x8001);
        QCOMPARE(biff8(prompt), std::string("=OPEN?()"));
    }

    void namesAndConstants() {
        FormulaContext context = sheetsContext();
        Tokens name;
        name.u8(0x23).u32(1).u8(0x23).u32(7).u8(0x05);
        QCOMPARE(biff8(name, context), std::string("=TaxRate*#NAME?"));

        Tokens constants;  // 0.5+TRUE+#DIV/0!
        constants.u8(0x1F).f64(0.5).u8(0x1D).u8(1).u8(0x03).u8(0x1C).u8(0x07).u8(0x03);
        QCOMPARE(biff8(constants), std::string("=0.5+TRUE+#DIV/0!"));

        Tokens quotes;  // say "hi" in UTF-16, quotes doubled
        const char16_t text[] = u"say \"hi\"";
        quotes.u8(0x17).u8(8).u8(1);
        for (int i = 0; i < 8; ++i) quotes.u16(text[i]);
        QCOMPARE(biff8(quotes), std::string("=\"say \"\"hi\"\"\""));

        Tokens errors;  // #REF! from a deleted cell and a deleted area
        errors.u8(0x2A).u32(0).u8(0x2B).u32(0).u32(0).u8(0x03);
        QCOMPARE(biff8(errors), std::string("=#REF!+#REF!"));
    }

    void references3dQuoteSheetNamesWhereNeeded() {
        FormulaContext context = sheetsContext();
        auto ref3d = [&](unsigned externIndex) {
            Tokens tokens;
            tokens.u8(0x3A).u16(externIndex).u16(0).u16(0xC000);
            return biff8(tokens, context);
        };
        QCOMPARE(ref3d(0), std::string("=Sheet2!A1"));
        QCOMPARE(ref3d(1), std::string("='My Sheet'!A1"));
        QCOMPARE(ref3d(2), std::string("=Jan:Mar!A1"));
        QCOMPARE(ref3d(3), std::string("='O''Brien'!A1"));
        QCOMPARE(ref3d(4), std::string("='2019'!A1"));
        QCOMPARE(ref3d(5), std::string("='A1'!A1"));
        QCOMPARE(ref3d(6), std::string("=Données!A1"));
        QCOMPARE(ref3d(7), std::string("=[1]Prices!A1"));
        QCOMPARE(ref3d(99), std::string("=#REF!A1"));

        Tokens area;  // Sheet2!$A:$B, a whole-column area
        area.u8(0x3B).u16(0).u16(0).u16(0xFFFF).u16(0).u16(1);
        QCOMPARE(biff8(area, context), std::string("=Sheet2!$A:$B"));

        Tokens deleted;
        deleted.u8(0x3C).u16(1).u32(0);
        QCOMPARE(biff8(deleted, context), std::string("='My Sheet'!#REF!"));
    }

    void biff5ReferencesNameSheetsByPosition() {
        FormulaContext context;
        context.sheetNameForIndex = [](std::uint32_t index) {
            return index == 0 ? std::string("First") : std::string("Last Sheet");
        };
        Tokens tokens;  // First:'Last Sheet' range of sheets, cell $B$3
        tokens.u8(0x3A).u16(0xFFFF);
        for (int i = 0; i < 8; ++i) tokens.u8(0);
        tokens.u16(0).u16(1).u16(2).u8(1);
        Decoded decoded = decode(tokens.bytes, FormulaDialect::Biff5, context);
        QVERIFY(decoded.ok);
        QCOMPARE(decoded.text, std::string("='First:Last Sheet'!$B$3"));

        Tokens relative;  // BIFF5 keeps the relative flags in the row field
        relative.u8(0x24).u16(0xC000 | 4).u8(2);
        QCOMPARE(decode(relative.bytes, FormulaDialect::Biff5).text, std::string("=C5"));
    }

    void sharedFormulasResolveRelativeToTheCell() {
        // The anchor's body: A1-relative offsets (row +1, column -1) and an absolute $A$1.
        Tokens body;
        body.u8(0x2C).u16(1).u16(0xC000 | 0xFF).ref8(0, 0, false, false).u8(0x03);
        FormulaContext context;
        context.row = 9;
        context.column = 3;
        std::pair<std::uint32_t, std::uint32_t> asked;
        context.sharedFormula = [&](std::uint32_t row, std::uint32_t column) {
            asked = {row, column};
            return std::optional<FormulaTokens>(FormulaTokens{Bytes(body.bytes), Bytes()});
        };
        Tokens member;
        member.u8(0x01).u16(4).u16(3);
        QCOMPARE(biff8(member, context), std::string("=C11+$A$1"));
        QCOMPARE(asked.first, 4u);
        QCOMPARE(asked.second, 3u);

        // BIFF12: the anchor's column is in the extra bytes; offsets wrap around the grid.
        Tokens wideBody;
        wideBody.u8(0x2D).u32(0xFFFFFFFF).u32(0).u16(0xC000 | 0x3FFE).u16(0xC000 | 1);
        context.row = 0;
        context.column = 0;
        context.sharedFormula = [&](std::uint32_t row, std::uint32_t column) {
            asked = {row, column};
            return std::optional<FormulaTokens>(FormulaTokens{Bytes(wideBody.bytes), Bytes()});
        };
        Tokens wideMember;
        wideMember.u8(0x01).u32(7);
        Tokens column;
        column.u32(2);
        Decoded decoded = decode(wideMember.bytes, FormulaDialect::Biff12, context, column.bytes);
        QCOMPARE(decoded.text, std::string("=XFC1048576:B1"));
        QVERIFY(decoded.ok);
        QCOMPARE(asked.second, 2u);

        // A member whose anchor is unknown, or a body that points on again, fails.
        context.sharedFormula = [&](std::uint32_t, std::uint32_t) {
            return std::optional<FormulaTokens>(FormulaTokens{Bytes(member.bytes), Bytes()});
        };
        QVERIFY(!decode(member.bytes, FormulaDialect::Biff8, context).ok);
        QVERIFY(!decode(member.bytes, FormulaDialect::Biff8).ok);
    }

    void biff12TokensUseWideFields() {
        FormulaContext context = sheetsContext();
        Tokens tokens;  // VLOOKUP(A2,'My Sheet'!A:B,2,FALSE) as Excel 2007 stores it
        tokens.u8(0x44).u32(1).u16(0xC000);
        tokens.u8(0x3B).u16(1).u32(0).u32(1048575).u16(0xC000).u16(0xC001);
        tokens.u8(0x1E).u16(2).u8(0x1D).u8(0).u8(0x42).u8(4).u16(0x66);
        Decoded decoded = decode(tokens.bytes, FormulaDialect::Biff12, context);
        QVERIFY(decoded.ok);
        QCOMPARE(decoded.text, std::string("=VLOOKUP(A2,'My Sheet'!A:B,2,FALSE)"));

        Tokens text;  // a 16-bit count of UTF-16 characters
        text.u8(0x17).u16(2).u16(u'é').u16('"');
        QCOMPARE(decode(text.bytes, FormulaDialect::Biff12).text, std::string("=\"é\"\"\""));

        Tokens later;  // IFERROR became a built-in function in BIFF12
        later.u8(0x24).u32(0).u16(0xC000).u8(0x1E).u16(0).u8(0x21).u16(480);
        QCOMPARE(decode(later.bytes, FormulaDialect::Biff12).text, std::string("=IFERROR(A1,0)"));
        QVERIFY(!decode(later.bytes, FormulaDialect::Biff8).ok);

        Tokens rows;  // 2:3, every column
        rows.u8(0x25).u32(1).u32(2).u16(0xC000).u16(0xC000 | 16383);
        QCOMPARE(decode(rows.bytes, FormulaDialect::Biff12).text, std::string("=2:3"));
    }

    void arrayConstantsComeFromTheExtraBytes() {
        Tokens tokens;
        tokens.u8(0x60);
        for (int i = 0; i < 7; ++i) tokens.u8(0);
        tokens.funcVar(1, 0x04);
        Tokens extra;  // 2 columns, 2 rows (stored minus one): 1,"a";TRUE,#N/A
        extra.u8(1).u16(1);
        extra.u8(0x01).f64(1);
        extra.u8(0x02).u16(1).u8(0).u8('a');
        extra.u8(0x04).u8(1).u32(0).u16(0).u8(0);
        extra.u8(0x10).u8(0x2A).u32(0).u16(0).u8(0);
        Decoded decoded = decode(tokens.bytes, FormulaDialect::Biff8, {}, extra.bytes);
        QVERIFY(decoded.ok);
        QCOMPARE(decoded.text, std::string("=SUM({1,\"a\";TRUE,#N/A})"));

        // Without its constants the array still renders, as a placeholder.
        decoded = decode(tokens.bytes, FormulaDialect::Biff8);
        QVERIFY(decoded.ok);
        QCOMPARE(decoded.text, std::string("=SUM({...})"));

        Tokens wide;  // BIFF12: rows and columns as 32-bit counts
        wide.u8(0x40);
        for (int i = 0; i < 14; ++i) wide.u8(0);
        Tokens wideExtra;
        wideExtra.u32(1).u32(2).u8(0x00).f64(2.5).u8(0x01).u16(1).u16('b');
        QCOMPARE(decode(wide.bytes, FormulaDialect::Biff12, {}, wideExtra.bytes).text,
                 std::string("={2.5,\"b\"}"));
    }

    void truncatedTokensFailWithoutReadingPastThem() {
        FormulaContext context = sheetsContext();
        Tokens whole;
        whole.u8(0x3B).u16(1).u16(0).u16(3).u16(0).u16(1);
        whole.u8(0x17).u8(2).u8(1).u16('a').u16('b');
        whole.u8(0x39).u16(0).u16(2).u16(0).u8(0x1F).f64(1.5);
        whole.u8(0x19).u8(0x04).u16(1).u16(0).u16(0);
        whole.funcVar(4, 0xFF);
        QVERIFY(decode(whole.bytes, FormulaDialect::Biff8, context).ok);
        const std::size_t firstToken = 11;  // alone, the first operand is a whole formula
        for (std::size_t length = 0; length < whole.bytes.size(); ++length) {
            std::vector<std::uint8_t> cut(whole.bytes.begin(), whole.bytes.begin() + length);
            Decoded decoded = decode(cut, FormulaDialect::Biff8, context);
            QVERIFY2(!decoded.ok || length == firstToken, qPrintable(QString::number(length)));
        }
        // Every BIFF12 operand cut short.
        for (unsigned id : {0x24u, 0x25u, 0x3Au, 0x3Bu, 0x23u, 0x39u, 0x1Fu, 0x17u, 0x01u}) {
            std::vector<std::uint8_t> cut = {static_cast<std::uint8_t>(id), 5, 0, 0};
            QVERIFY(!decode(cut, FormulaDialect::Biff12, context).ok);
        }
        // Operators with too few operands, and unknown tokens.
        QVERIFY(!decode({0x03}, FormulaDialect::Biff8).ok);
        QVERIFY(!decode({0x1E, 1, 0, 0x15, 0x15, 0x03}, FormulaDialect::Biff8).ok);
        QVERIFY(!decode({0x1E, 1, 0, 0x1E, 2, 0}, FormulaDialect::Biff8).ok);
        QVERIFY(!decode({0x3F}, FormulaDialect::Biff8).ok);
        QVERIFY(!decode({}, FormulaDialect::Biff8).ok);
    }

    void hostileStreamsStayBounded() {
        Tokens parentheses;  // a value wrapped 100,000 times
        parentheses.integer(1);
        for (int i = 0; i < 100000; ++i) parentheses.u8(0x15);
        Decoded decoded = decode(parentheses.bytes, FormulaDialect::Biff8);
        QVERIFY(!decoded.ok);
        QVERIFY(decoded.text.size() <= kMaxFormulaTextBytes + 8);

        Tokens operands;  // 50,000 operands never combined
        for (int i = 0; i < 50000; ++i) operands.u8(0x16);
        QVERIFY(!decode(operands.bytes, FormulaDialect::Biff8).ok);

        Tokens nested;  // ABS(ABS(...)) 20,000 deep
        nested.integer(1);
        for (int i = 0; i < 20000; ++i) nested.func(0x18);
        decoded = decode(nested.bytes, FormulaDialect::Biff8);
        QVERIFY(!decoded.ok);
        QVERIFY(decoded.text.size() <= kMaxFormulaTextBytes + 8);

        Tokens longText;  // BIFF12 strings may hold 65,535 characters: too long to render
        longText.u8(0x17).u16(0xFFFF);
        for (int i = 0; i < 0xFFFF; ++i) longText.u16('x');
        QVERIFY(!decode(longText.bytes, FormulaDialect::Biff12).ok);

        Tokens hugeArray;  // an array claiming 4 billion elements with no bytes behind them
        hugeArray.u8(0x40);
        for (int i = 0; i < 14; ++i) hugeArray.u8(0);
        Tokens claims;
        claims.u32(0xFFFFFFFF).u32(0xFFFFFFFF).u8(0x02).u8(1);
        decoded = decode(hugeArray.bytes, FormulaDialect::Biff12, {}, claims.bytes);
        QCOMPARE(decoded.text, std::string("={...}"));
    }
};

QTEST_GUILESS_MAIN(TestFormulaText)
#include "test_formula_text.moc"
