// The formula decompiler on hand-made token streams of each dialect: operators as stored,
// functions, references of every kind, shared formulas, constants, and hostile streams.
#include <QTest>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "engine/cell/number_text.h"
#include "engine/core/matcher.h"
#include "engine/formula/formula_functions.h"
#include "engine/formula/formula_text.h"
#include "engine/formula/plain_formula_keyword.h"

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
    Tokens& zeros(int count) {
        bytes.insert(bytes.end(), std::size_t(count), 0);
        return *this;
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
    context.sheetNameForIndex = [](std::uint32_t index) {
        return index == 0 ? std::string("First") : std::string("Last Sheet");
    };
    context.definedName = [](std::uint32_t index) {
        return index == 1 ? std::string("TaxRate") : std::string();
    };
    context.externalName = [](std::uint32_t, std::uint32_t index) {
        return index == 1 ? std::string("_xlfn.IFERROR") : std::string("MYFUNC");
    };
    return context;
}

using T = Tokens;
constexpr FormulaDialect B5 = FormulaDialect::Biff5, B8 = FormulaDialect::Biff8,
                         B12 = FormulaDialect::Biff12;

// One formula a row, decoded with sheetsContext(); a null answer means the decoder must fail.
struct Case {
    const char* name;
    FormulaDialect dialect;
    Tokens tokens;
    const char* text;
    Tokens extra = {};
};

const std::vector<Case>& cases() {
    // clang-format off
    static const std::vector<Case> all = {
        // Operators keep the stored parentheses.
        {"1+2*3", B8, T().integer(1).integer(2).integer(3).u8(0x05).u8(0x03), "=1+2*3"},
        {"(1+2)*3", B8, T().integer(1).integer(2).u8(0x03).u8(0x15).integer(3).u8(0x05), "=(1+2)*3"},
        {"unary", B8, T().ref8(0, 0).u8(0x13).u8(0x14).integer(2).u8(0x07), "=-A1%^2"},
        {"concatenation", B8, T().ref8(0, 0).u8(0x17).u8(1).u8(0).u8('x').u8(0x08), "=A1&\"x\""},
        {"less", B8, T().ref8(0, 0).ref8(0, 1).u8(0x09), "=A1<B1"},
        {"less or equal", B8, T().ref8(0, 0).ref8(0, 1).u8(0x0A), "=A1<=B1"},
        {"equal", B8, T().ref8(0, 0).ref8(0, 1).u8(0x0B), "=A1=B1"},
        {"greater or equal", B8, T().ref8(0, 0).ref8(0, 1).u8(0x0C), "=A1>=B1"},
        {"greater", B8, T().ref8(0, 0).ref8(0, 1).u8(0x0D), "=A1>B1"},
        {"not equal", B8, T().ref8(0, 0).ref8(0, 1).u8(0x0E), "=A1<>B1"},
        {"range", B8, T().ref8(0, 0).ref8(0, 1).u8(0x11), "=A1:B1"},
        {"intersection", B8, T().ref8(0, 0).ref8(0, 1).u8(0x0F), "=A1 B1"},
        // Functions with fixed and variable argument counts, and the attribute tokens.
        {"fixed two arguments", B8, T().ref8(0, 0).integer(2).func(0x1B), "=ROUND(A1,2)"},
        {"no arguments", B8, T().func(0x4A), "=NOW()"},
        {"variable", B8, T().area8(0, 1, 0, 1).ref8(2, 2).integer(4).funcVar(3, 0x04), "=SUM(A1:B2,C3,4)"},
        {"IF with jumps", B8, T().ref8(0, 0).integer(0).u8(0x0D).u8(0x19).u8(0x02).u16(9).u8(0x17).u8(3).u8(0).u8('y').u8('e').u8('s').u8(0x19).u8(0x08).u16(3).u8(0x16).u8(0x19).u8(0x08).u16(3).funcVar(3, 0x01), "=IF(A1>0,\"yes\",)"},
        {"tAttrSum", B8, T().area8(0, 2, 0, 0).u8(0x19).u8(0x10).u16(0), "=SUM(A1:A3)"},
        {"tAttrChoose jump table", B8, T().integer(1).u8(0x19).u8(0x04).u16(2).u16(6).u16(10).u16(14).integer(2).integer(3).funcVar(3, 0x64), "=CHOOSE(1,2,3)"},
        {"fixed token for a variable function", B8, T().integer(1).func(0x04), nullptr},
        {"add-in name as first argument", B8, T().u8(0x39).u16(0).u16(1).u16(0).ref8(0, 0).integer(0).funcVar(3, 0xFF), "=IFERROR(A1,0)"},
        {"user function", B8, T().u8(0x39).u16(0).u16(2).u16(0).funcVar(1, 0xFF), "=MYFUNC()"},
        {"macro command", B8, T().u8(0x17).u8(1).u8(0).u8('x').integer(2).funcVar(2, 0x8076), "=ALERT(\"x\",2)"},
        {"macro dialog form", B8, T().funcVar(0x80, 0x8001), "=OPEN?()"},
        // Names and constants.
        {"defined and unknown names", B8, T().u8(0x23).u32(1).u8(0x23).u32(7).u8(0x05), "=TaxRate*#NAME?"},
        {"number, boolean, error", B8, T().u8(0x1F).f64(0.5).u8(0x1D).u8(1).u8(0x03).u8(0x1C).u8(0x07).u8(0x03), "=0.5+TRUE+#DIV/0!"},
        {"UTF-16 text, quotes doubled", B8, T().u8(0x17).u8(8).u8(1).u16('s').u16('a').u16('y').u16(' ').u16('"').u16('h').u16('i').u16('"'), "=\"say \"\"hi\"\"\""},
        {"deleted cell and area", B8, T().u8(0x2A).u32(0).u8(0x2B).u32(0).u32(0).u8(0x03), "=#REF!+#REF!"},
        // 3-D references quote sheet names where needed.
        {"plain sheet", B8, T().u8(0x3A).u16(0).u16(0).u16(0xC000), "=Sheet2!A1"},
        {"space", B8, T().u8(0x3A).u16(1).u16(0).u16(0xC000), "='My Sheet'!A1"},
        {"sheet range", B8, T().u8(0x3A).u16(2).u16(0).u16(0xC000), "=Jan:Mar!A1"},
        {"apostrophe", B8, T().u8(0x3A).u16(3).u16(0).u16(0xC000), "='O''Brien'!A1"},
        {"digits", B8, T().u8(0x3A).u16(4).u16(0).u16(0xC000), "='2019'!A1"},
        {"like a reference", B8, T().u8(0x3A).u16(5).u16(0).u16(0xC000), "='A1'!A1"},
        {"letters beyond ASCII", B8, T().u8(0x3A).u16(6).u16(0).u16(0xC000), "=Données!A1"},
        {"external book", B8, T().u8(0x3A).u16(7).u16(0).u16(0xC000), "=[1]Prices!A1"},
        {"unknown sheet", B8, T().u8(0x3A).u16(99).u16(0).u16(0xC000), "=#REF!A1"},
        {"whole columns", B8, T().u8(0x3B).u16(0).u16(0).u16(0xFFFF).u16(0).u16(1), "=Sheet2!$A:$B"},
        {"deleted 3-D", B8, T().u8(0x3C).u16(1).u32(0), "='My Sheet'!#REF!"},
        // BIFF5 names sheets by position and keeps the relative flags in the row field.
        {"BIFF5 sheet range", B5, T().u8(0x3A).u16(0xFFFF).zeros(8).u16(0).u16(1).u16(2).u8(1), "='First:Last Sheet'!$B$3"},
        {"BIFF5 relative", B5, T().u8(0x24).u16(0xC000 | 4).u8(2), "=C5"},
        // BIFF12's wide fields, and functions that became built-in there.
        {"BIFF12 VLOOKUP", B12, T().u8(0x44).u32(1).u16(0xC000).u8(0x3B).u16(1).u32(0).u32(1048575).u16(0xC000).u16(0xC001).u8(0x1E).u16(2).u8(0x1D).u8(0).u8(0x42).u8(4).u16(0x66), "=VLOOKUP(A2,'My Sheet'!A:B,2,FALSE)"},
        {"BIFF12 text", B12, T().u8(0x17).u16(2).u16(u'é').u16('"'), "=\"é\"\"\""},
        {"BIFF12 IFERROR", B12, T().u8(0x24).u32(0).u16(0xC000).u8(0x1E).u16(0).u8(0x21).u16(480), "=IFERROR(A1,0)"},
        {"IFERROR unknown to BIFF8", B8, T().u8(0x24).u32(0).u16(0xC000).u8(0x1E).u16(0).u8(0x21).u16(480), nullptr},
        {"BIFF12 whole rows", B12, T().u8(0x25).u32(1).u32(2).u16(0xC000).u16(0xC000 | 16383), "=2:3"},
        // Array constants come from the extra bytes; without them, a placeholder.
        {"array", B8, T().u8(0x60).zeros(7).funcVar(1, 0x04), "=SUM({1,\"a\";TRUE,#N/A})", T().u8(1).u16(1).u8(0x01).f64(1).u8(0x02).u16(1).u8(0).u8('a').u8(0x04).u8(1).u32(0).u16(0).u8(0).u8(0x10).u8(0x2A).u32(0).u16(0).u8(0)},
        {"array without constants", B8, T().u8(0x60).zeros(7).funcVar(1, 0x04), "=SUM({...})"},
        {"BIFF12 array", B12, T().u8(0x40).zeros(14), "={2.5,\"b\"}", T().u32(1).u32(2).u8(0x00).f64(2.5).u8(0x01).u16(1).u16('b')},
        {"array claiming 4 billion elements", B12, T().u8(0x40).zeros(14), "={...}", T().u32(0xFFFFFFFF).u32(0xFFFFFFFF).u8(0x02).u8(1)},
    };
    // clang-format on
    return all;
}

// The cases() whose text is plain: built only from fixed generators, and decoded whole.
const std::set<std::string> kPlainCases = {"1+2*3",
                                           "(1+2)*3",
                                           "unary",
                                           "less",
                                           "less or equal",
                                           "equal",
                                           "greater or equal",
                                           "greater",
                                           "not equal",
                                           "range",
                                           "intersection",
                                           "fixed two arguments",
                                           "no arguments",
                                           "variable",
                                           "tAttrSum",
                                           "tAttrChoose jump table",
                                           "macro dialog form",
                                           "number, boolean, error",
                                           "deleted cell and area",
                                           "BIFF5 relative",
                                           "BIFF12 IFERROR",
                                           "BIFF12 whole rows"};

bool isAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Whether the plain-text decision for `keyword` lies about `text`: it says no plain text can
// match, yet this one does.
bool decisionLies(const std::string& keyword, FormulaDialect dialect, const std::string& text) {
    Matcher matcher(keyword);
    return !keywordCanMatchPlainFormulaText(matcher, dialect) && matcher.matches(text);
}

// Random token streams made only of plain tokens, each a well-formed postfix formula.
class PlainFormulaMaker {
  public:
    PlainFormulaMaker(FormulaDialect dialect, unsigned seed) : dialect_(dialect), random_(seed) {
        for (std::uint32_t index = 0; index < 600; ++index) {
            BuiltinFunction function = builtinFunction(index, dialect);
            if (function.name == nullptr || index == 0xFF) continue;
            if (function.fixedArguments >= 0)
                fixed_.push_back({index, unsigned(function.fixedArguments)});
            else
                variable_.push_back(index);
        }
        for (std::uint32_t index = 0; index < 1000; ++index)
            if (commandName(index) != nullptr) commands_.push_back(index);
    }

    Tokens make() {
        Tokens tokens;
        expression(tokens, 0);
        return tokens;
    }

  private:
    unsigned below(unsigned n) {
        return std::uniform_int_distribution<unsigned>(0, n - 1)(random_);
    }

    void cell(Tokens& t) {
        static const unsigned rows[] = {0, 1, 9, 255, 16383, 65535};
        static const unsigned columns[] = {0, 1, 25, 26, 255, 0x3FFF};
        unsigned row = rows[below(6)];
        unsigned column = columns[below(6)];
        unsigned flags = below(4) << 14;
        if (dialect_ == FormulaDialect::Biff5) {
            t.u16((row & 0x3FFF) | flags).u8(column & 0xFF);
        } else {
            if (dialect_ == FormulaDialect::Biff12)
                t.u32(below(2) ? row : 0xFFFFFFFF);
            else
                t.u16(row);
            t.u16(column | flags);
        }
    }
    void area(Tokens& t) {
        unsigned rowBytes = dialect_ == FormulaDialect::Biff12 ? 4 : 2;
        unsigned lastRow = dialect_ == FormulaDialect::Biff5 ? 0x3FFF : 0xFFFF;
        bool wholeColumns = below(3) == 0;
        auto row = [&](unsigned value) { rowBytes == 4 ? t.u32(value) : t.u16(value); };
        if (dialect_ == FormulaDialect::Biff5) {
            t.u16(0xC000).u16(wholeColumns ? 0xFFFF : 0xC000 | 5).u8(below(2) ? 0 : 3).u8(255);
            return;
        }
        row(wholeColumns ? 0 : 2);
        row(wholeColumns ? (rowBytes == 4 ? 1048575 : lastRow) : 7);
        t.u16(0xC000 | below(30)).u16(0xC000 | (below(2) ? 255 : 16383));
    }
    void operand(Tokens& t) {
        static const double numbers[] = {0.5,
                                         -2.25,
                                         1e20,
                                         -1.5e-300,
                                         4.9e-324,
                                         1e15,
                                         123456789012345678.0,
                                         0.0000123456789012345};
        switch (below(9)) {
            case 0:
                t.integer(below(65536));
                break;
            case 1: {
                double value = numbers[below(8)];
                if (below(10) == 0) value = std::numeric_limits<double>::infinity();
                t.u8(0x1F).f64(value);
                break;
            }
            case 2:
                t.u8(0x1D).u8(below(2));
                break;
            case 3: {
                static const unsigned codes[] = {0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A, 0x2B};
                t.u8(0x1C).u8(codes[below(8)]);
                break;
            }
            case 4:
                t.u8(0x24 | (below(3) << 5));
                cell(t);
                break;
            case 5:
                t.u8(0x2C);
                cell(t);
                break;
            case 6:
                t.u8(0x25);
                area(t);
                break;
            case 7:
                if (below(2)) {
                    t.u8(0x2A);  // ptgRefErr
                    cell(t);
                } else {
                    t.u8(0x2B);  // ptgAreaErr
                    cell(t);
                    cell(t);
                }
                break;
            default:
                t.u8(0x16);
                break;
        }
    }
    void expression(Tokens& t, int depth) {
        unsigned choice = depth > 4 ? 0 : below(7);
        switch (choice) {
            case 0:
                operand(t);
                break;
            case 1:
                expression(t, depth + 1);
                expression(t, depth + 1);
                t.u8(0x03 + below(15));
                break;
            case 2:
                expression(t, depth + 1);
                t.u8(0x12 + below(4));  // unary plus, minus, percent, parentheses
                break;
            case 3: {
                auto [index, arguments] = fixed_[below(unsigned(fixed_.size()))];
                for (unsigned i = 0; i < arguments; ++i) expression(t, depth + 1);
                t.func(index);
                break;
            }
            case 4: {
                unsigned arguments = below(4);
                for (unsigned i = 0; i < arguments; ++i) expression(t, depth + 1);
                bool command = below(3) == 0;
                unsigned index = command ? commands_[below(unsigned(commands_.size()))]
                                         : variable_[below(unsigned(variable_.size()))];
                t.funcVar(arguments | (command && below(2) ? 0x80 : 0),
                          index | (command ? 0x8000 : 0));
                break;
            }
            case 5:
                expression(t, depth + 1);
                t.u8(0x19).u8(below(2) ? 0x10 : 0x40).u16(below(4));  // tAttrSum, tAttrSpace
                break;
            default:
                t.u8(0x29).u16(3);  // ptgMemFunc ahead of the expression it sizes
                expression(t, depth + 1);
                break;
        }
    }

    FormulaDialect dialect_;
    std::mt19937 random_;
    std::vector<std::pair<std::uint32_t, unsigned>> fixed_;
    std::vector<std::uint32_t> variable_;
    std::vector<std::uint32_t> commands_;
};

}  // namespace

class TestFormulaText : public QObject {
    Q_OBJECT

  private slots:
    void decodes_data() {
        QTest::addColumn<int>("index");
        for (int index = 0; index < int(cases().size()); ++index)
            QTest::newRow(cases()[std::size_t(index)].name) << index;
    }
    void decodes() {
        QFETCH(int, index);
        const Case& row = cases()[std::size_t(index)];
        Decoded decoded = decode(row.tokens.bytes, row.dialect, sheetsContext(), row.extra.bytes);
        QCOMPARE(decoded.ok, row.text != nullptr);
        if (row.text) QCOMPARE(decoded.text, std::string(row.text));
    }

    // The walk tells plain formulas from the rest exactly as the cases decode them: strings,
    // names, sheets, arrays, user calls and failures are never plain.
    void plainCasesAreToldApart() {
        for (const Case& row : cases()) {
            FormulaTokens tokens{Bytes(row.tokens.bytes), Bytes(row.extra.bytes)};
            bool plain = formulaTextIsPlain(tokens, row.dialect);
            QVERIFY2(plain == (kPlainCases.count(row.name) == 1), row.name);
            if (plain) QVERIFY2(isAscii(row.text), row.name);
        }
        Tokens member;  // a shared formula's member: its text is the anchor's
        member.u8(0x01).u16(0).u16(0);
        QVERIFY(!formulaTextIsPlain({Bytes(member.bytes), {}}, FormulaDialect::Biff8));
        QVERIFY(!formulaTextIsPlain({{}, {}}, FormulaDialect::Biff8));
    }

    void keywordsAgainstPlainText_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<int>("dialect");
        QTest::addColumn<bool>("canMatch");
        auto row = [](const char* tag, const char* keyword, FormulaDialect dialect, bool can) {
            QTest::newRow(tag) << QString::fromUtf8(keyword) << int(dialect) << can;
        };
        // Letters that lie in no function name, and runs of the fixed words.
        row("no such word", "quasar", B8, false);
        row("upper case", "QUASAR", B12, false);
        row("one missing run among others", "sum quasar", B8, false);
        row("workbook words", "shared result", B8, false);
        row("a sheet's name", "hidden!", B8, false);
        row("a defined name", "taxrate", B8, false);
        row("a book's name", "budget", B8, false);
        row("later segment", "sum*quasar", B8, false);
        row("inside QUARTILE", "quart", B8, true);
        row("SUM", "sum", B8, true);
        row("VLOOKUP", "vlookup(", B12, true);
        row("SUBTOTAL", "total", B8, true);
        row("a command", "alert", B8, true);
        row("a command's dialog form", "open?(", B8, true);
        row("a name's dotted part", "type", B8, true);
        row("TRUE", "true", B5, true);
        row("FALSE", "=false", B8, true);
        row("error literal", "ref!", B8, true);
        row("#N/A", "n/a", B8, true);
        row("#DIV/0!", "div", B8, true);
        row("#GETTING_DATA", "getting_data", B12, true);
        // Column letters: BIFF5 has two, BIFF8 and BIFF12 fields hold three.
        row("BIFF5 column", "iv", B5, true);
        row("three letters in BIFF5", "xyz", B5, false);
        row("three letters in BIFF8", "xyz", B8, true);
        row("four letters", "xyzw", B12, false);
        row("letters then digits", "ab1", B8, true);
        row("a whole formula", "=B2*C2", B8, true);
        row("exponent", "1e+20", B8, true);
        // Wildcards, and characters that fold to ASCII letters or to none.
        row("stars alone", "*", B8, true);
        row("empty", "", B8, false);
        row("any one inside", "q?asar", B8, false);
        row("any ones alone", "???", B8, true);
        row("escaped star", "~*", B8, true);
        row("long s", "ſum", B8, true);
        row("Kelvin sign", "\u212Aurt", B8, true);
        row("Kelvin sign, no word", "\u212Aelvinx", B8, false);
        row("beyond ASCII", "é", B8, false);
        row("beyond ASCII after a star", "sum*é", B8, false);
    }
    void keywordsAgainstPlainText() {
        QFETCH(QString, keyword);
        QFETCH(int, dialect);
        QFETCH(bool, canMatch);
        Matcher matcher(keyword.toStdString());
        QCOMPARE(keywordCanMatchPlainFormulaText(matcher, FormulaDialect(dialect)), canMatch);
    }

    // Random plain formulas of every dialect: the walk agrees with the decompiler, the text is
    // ASCII, and no piece of it (as a keyword, wildcards and all) is ruled out by the decision.
    void plainFormulasNeverFoolTheDecision() {
        for (FormulaDialect dialect : {B5, B8, B12}) {
            PlainFormulaMaker maker(dialect, 7 + unsigned(dialect));
            for (int round = 0; round < 400; ++round) {
                Tokens tokens = maker.make();
                Decoded decoded = decode(tokens.bytes, dialect);
                bool plain = formulaTextIsPlain({Bytes(tokens.bytes), {}}, dialect);
                QCOMPARE(plain, decoded.ok);
                if (!plain) continue;
                QVERIFY(isAscii(decoded.text));
                const std::string& text = decoded.text;
                for (std::size_t start = 0; start < text.size(); ++start) {
                    for (std::size_t length = 1; length <= 8 && start + length <= text.size();
                         ++length) {
                        std::string piece = text.substr(start, length);
                        QVERIFY2(!decisionLies(piece, dialect, text),
                                 (piece + " in " + text).c_str());
                    }
                }
            }
        }
    }

    // Any token stream the walk calls plain decodes whole, whatever its bytes.
    void plainMeansTheDecompilerFinishes() {
        std::mt19937 random(11);
        const std::uint8_t ids[] = {0x03, 0x05, 0x0F, 0x11, 0x12, 0x14, 0x15, 0x16, 0x19,
                                    0x1C, 0x1D, 0x1E, 0x1F, 0x21, 0x22, 0x24, 0x25, 0x29,
                                    0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x41, 0x42, 0x44};
        int plainCount = 0;
        for (FormulaDialect dialect : {B5, B8, B12}) {
            for (int round = 0; round < 20000; ++round) {
                std::vector<std::uint8_t> bytes;
                int length = int(random() % 24);
                for (int i = 0; i < length; ++i)
                    bytes.push_back(random() % 3 == 0 ? ids[random() % std::size(ids)]
                                                      : std::uint8_t(random() % 4));
                if (!formulaTextIsPlain({Bytes(bytes), {}}, dialect)) continue;
                ++plainCount;
                QVERIFY(decode(bytes, dialect).ok);
            }
        }
        QVERIFY(plainCount > 100);
    }

    // Plain formulas too long to write are not plain: the decompiler gives up on them.
    void longPlainFormulasAreNotPlain() {
        Tokens sum;  // 1+1+1+... past kMaxFormulaTextBytes
        sum.integer(1);
        for (int i = 0; i < 5000; ++i) sum.integer(1).u8(0x03);
        QVERIFY(!decode(sum.bytes, B8).ok);
        QVERIFY(!formulaTextIsPlain({Bytes(sum.bytes), {}}, B8));
        Tokens numbers;  // the longest numbers, close to the limit
        numbers.u8(0x1F).f64(-4.94065645841247e-324);
        for (int i = 0; i < 300; ++i) numbers.u8(0x1F).f64(-1.23456789012345e-300).u8(0x03);
        Decoded decoded = decode(numbers.bytes, B8);
        QVERIFY(decoded.ok);
        QVERIFY(!formulaTextIsPlain({Bytes(numbers.bytes), {}}, B8) ||
                decoded.text.size() <= kMaxFormulaTextBytes);
        for (double value : {-4.94065645841247e-324, -1.23456789012345e-300, -0.0000123456789012345,
                             -123456789012345.6, -1e300})
            QVERIFY(numberText(value).size() <= kMaxNumberTextBytes);
        QCOMPARE(numberText(-1.23456789012345e-300).size(), kMaxNumberTextBytes);
        QCOMPARE(numberText(-0.0000123456789012345).size(), kMaxNumberTextBytes);
    }

    void functionNamesAreAscii() {
        forEachFunctionOrCommandName([](std::string_view name) {
            QVERIFY(isAscii(std::string(name)));
            QVERIFY(!name.empty());
        });
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
    }
};

QTEST_GUILESS_MAIN(TestFormulaText)
#include "test_formula_text.moc"
