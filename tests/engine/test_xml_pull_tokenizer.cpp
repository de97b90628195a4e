// The worksheet tokenizer: the same tokens whatever the chunking of the input, and every
// malformed document refused with the right kind of failure.
#include <QtTest>

#include "engine/xml/xml_pull_tokenizer.h"

using namespace quillmark;
using namespace quillmark::engine;

namespace {

// Serves `text` at most `chunk` bytes per read.
XmlPullTokenizer::Source chunkedSource(const std::string& text, std::size_t chunk) {
    auto offset = std::make_shared<std::size_t>(0);
    return [&text, chunk, offset](char* buffer, std::size_t capacity) -> Outcome<std::size_t> {
        std::size_t count = std::min({chunk, capacity, text.size() - *offset});
        std::copy_n(text.data() + *offset, count, buffer);
        *offset += count;
        return count;
    };
}

// The tokens as one line: "<c r=A1 t=s>" for starts (with the attributes asked about),
// "[text]" for text (adjacent pieces joined), "</c>" for ends, then "!kind" on failure.
// A chunk size of kInMemory reads the document where it lies instead.
constexpr std::size_t kInMemory = 0;

XmlPullTokenizer tokenizerOver(const std::string& text, std::size_t chunk) {
    return chunk == kInMemory
               ? XmlPullTokenizer(std::make_shared<const ByteBuffer>(text.begin(), text.end()))
               : XmlPullTokenizer(chunkedSource(text, chunk));
}

// The name of the element after the document's second one, which is skipped unread, or "!"
// and the kind of the skip's failure.
QString afterSkippingSecond(const std::string& text, std::size_t chunk) {
    XmlPullTokenizer tokenizer = tokenizerOver(text, chunk);
    if (tokenizer.next() != XmlToken::StartElement || tokenizer.next() != XmlToken::StartElement)
        return "!no second element";
    if (!tokenizer.skipUntilOpenElements(1))
        return QString("!") + failureKindName(tokenizer.failure().kind);
    if (tokenizer.next() != XmlToken::StartElement) return "!no element after";
    return QString::fromStdString(std::string(tokenizer.name()));
}

QString tokens(const std::string& text, std::size_t chunk) {
    XmlPullTokenizer tokenizer = tokenizerOver(text, chunk);
    QString out, pendingText;
    std::string storage;
    for (;;) {
        XmlToken token = tokenizer.next();
        if (token != XmlToken::Text && !pendingText.isEmpty()) {
            out += "[" + pendingText + "]";
            pendingText.clear();
        }
        switch (token) {
            case XmlToken::StartElement:
                out += "<" + QString::fromStdString(std::string(tokenizer.name()));
                for (const char* attribute : {"r", "t", "v"})
                    if (auto value = tokenizer.attribute(attribute, storage))
                        out += QString(" %1=%2").arg(attribute,
                                                     QString::fromStdString(std::string(*value)));
                out += ">";
                break;
            case XmlToken::EndElement:
                out += "</" + QString::fromStdString(std::string(tokenizer.name())) + ">";
                break;
            case XmlToken::Text:
                pendingText += QString::fromStdString(std::string(tokenizer.text()));
                break;
            case XmlToken::EndOfDocument:
                return out;
            case XmlToken::Error:
                return out + "!" + failureKindName(tokenizer.failure().kind);
        }
    }
}

}  // namespace

class TestXmlPullTokenizer : public QObject {
    Q_OBJECT

  private slots:
    void tokensDoNotDependOnChunking() {
        const std::string document =
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- a > comment -->"
            "<x:ws xmlns:x=\"urn:x\"><row r = '1' ><c r=\"A1\" t=\"s\"><v>12</v></c>"
            "<c r=\"B&#x31;\" v=\"a&gt;b&amp;&quot;\"/><t>&lt;&#233;&#x65E5;&apos;</t>"
            "<t><![CDATA[<raw & ]]]]><![CDATA[>]]></t><?pi inside?></row></x:ws>\n";
        const QString expected =
            "<ws><row r=1><c r=A1 t=s><v>[12]</v></c><c r=B1 v=a>b&\"></c>"
            "<t>[<é日']</t><t>[<raw & ]]>]</t></row></ws>";
        for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7},
                                  std::size_t{64}, document.size(), kInMemory})
            QCOMPARE(tokens(document, chunk), expected);
    }

    void tokenLargerThanTheBuffer() {
        std::string big(300000, 'x');
        std::string document = "<a t=\"" + big + "\">" + big + "</a>";
        QString expected =
            "<a t=" + QString::fromStdString(big) + ">[" + QString::fromStdString(big) + "]</a>";
        QCOMPARE(tokens(document, 4096), expected);
    }

    // Names, values and texts long enough to be scanned in blocks, with every byte that
    // matters (a name's ':' and end, a quote, '&', '<', '>' inside quotes) moved through
    // every position of a block.
    void longTokensAtEveryOffset() {
        for (int pad = 0; pad < 34; ++pad) {
            std::string p(static_cast<std::size_t>(pad), 'p');
            std::string name = "n" + p + ":long-element-name-" + p;
            std::string document = "<x:ws xmlns:x=\"urn:x\"><" + name + " a" + p + ":v=\"" + p +
                                   "&amp;" + p + "\" t='" + p + "\"b>" + p + "'>" + p + "&lt;" + p +
                                   "</" + name + "></x:ws>";
            QString q = QString::fromStdString(p);
            QString expected = "<ws><long-element-name-" + q + " t=" + q + "\"b>" + q + " v=" + q +
                               "&" + q + ">[" + q + "<" + q + "]</long-element-name-" + q +
                               "></ws>";
            for (std::size_t chunk : {std::size_t{5}, std::size_t{64}, document.size(), kInMemory})
                QCOMPARE(tokens(document, chunk), expected);
        }
    }

    // Skipped start tags end at the first '>' outside quotes, wherever the quotes fall; a
    // "/>" inside a value, taken for the tag's end, would leave the skip one element short.
    void skippingTagsWithQuotesAtEveryOffset() {
        for (int pad = 0; pad < 34; ++pad) {
            std::string p(static_cast<std::size_t>(pad), 'p');
            std::string document = "<r><s><t a=\"" + p + "/>'\" b='" + p + "\"/>'>" + p +
                                   "<in c=\"" + p + "\"/>" + p + "</t></s><after/></r>";
            for (std::size_t chunk : {std::size_t{5}, document.size(), kInMemory}) {
                QCOMPARE(afterSkippingSecond(document, chunk), QString("after"));
            }
        }
    }

    // A skipped element of every kind of markup, larger than the tokenizer's first buffer and
    // the span between two asks of the cancel token: the skip ends where it ends, read in
    // chunks of any size or in memory, and one cut short inside it fails as truncated.
    void skippingEveryKindOfMarkup() {
        std::string inside;
        for (int copy = 0; inside.size() < (300u << 10); ++copy) {
            const std::string n = std::to_string(copy);
            inside += "<c a=\"/>" + n + ">\" b='\"" + n + "'>text \"quoted\" > 'too'" +
                      "<!-- </s> <x> --><![CDATA[</s><y>\"]]><?pi </s>?><e/><e  /><f g='/'>" + n +
                      "</f ></c>";
        }
        const std::string document = "<r><s>" + inside + "</s><after/></r>";
        for (std::size_t chunk : {std::size_t{7}, std::size_t{4096}, document.size(), kInMemory})
            QCOMPARE(afterSkippingSecond(document, chunk), QString("after"));
        const std::string cut = document.substr(0, 6 + inside.size() / 2);
        for (std::size_t chunk : {std::size_t{4096}, kInMemory})
            QCOMPARE(afterSkippingSecond(cut, chunk), QString("!truncated"));
    }

    // Long names are compared by a hash: one that differs in any single byte still fails.
    void longEndTagDifferingInOneByte() {
        const std::string name = "table:table-cell-with-a-long-name";
        for (std::size_t at = 0; at < name.size(); ++at) {
            std::string other = name;
            other[at] = other[at] == 'z' ? 'y' : 'z';
            std::string document = "<a><" + name + "></" + other + "></a>";
            QVERIFY2(tokens(document, document.size()).endsWith("!corrupt"), other.c_str());
        }
    }

    void malformedDocuments_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("failure");
        // clang-format off
        QTest::newRow("doctype") << QByteArray("<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>") << "corrupt";
        QTest::newRow("undefined entity") << QByteArray("<a>&e;</a>") << "corrupt";
        QTest::newRow("bare ampersand") << QByteArray("<a>fish & chips</a>") << "corrupt";
        QTest::newRow("reference to no character") << QByteArray("<a>&#0;</a>") << "corrupt";
        QTest::newRow("entity in attribute") << QByteArray("<a b=\"&e;\"/>") << "corrupt";
        QTest::newRow("mismatched end tag") << QByteArray("<a><b></a></b>") << "corrupt";
        QTest::newRow("end tag without start") << QByteArray("<a></a></b>") << "corrupt";
        QTest::newRow("attribute without value") << QByteArray("<a b></a>") << "corrupt";
        QTest::newRow("attribute without quotes") << QByteArray("<a b=1></a>") << "corrupt";
        QTest::newRow("less-than in attribute") << QByteArray("<a b=\"<\"></a>") << "corrupt";
        QTest::newRow("attributes not separated") << QByteArray("<a b=\"1\"c=\"2\"></a>") << "corrupt";
        QTest::newRow("text before the root") << QByteArray("hello<a/>") << "corrupt";
        QTest::newRow("second root") << QByteArray("<a/><b/>") << "corrupt";
        QTest::newRow("unclosed element") << QByteArray("<a><b>text</b>") << "truncated";
        QTest::newRow("cut inside a tag") << QByteArray("<a><b r=\"1") << "truncated";
        QTest::newRow("cut inside a comment") << QByteArray("<a><!-- never") << "truncated";
        QTest::newRow("empty document") << QByteArray("") << "truncated";
        QTest::newRow("only a declaration") << QByteArray("<?xml version=\"1.0\"?>") << "truncated";
        QTest::newRow("other encoding") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>") << "unsupported";
        QTest::newRow("UTF-16 byte order mark") << QByteArray("\xFF\xFE<\0a\0/\0>\0", 10) << "unsupported";
        // clang-format on
    }

    void malformedDocuments() {
        QFETCH(QByteArray, document);
        QFETCH(QString, failure);
        std::string text = document.toStdString();
        for (std::size_t chunk : {std::size_t{1}, std::size_t{5}, text.size() + 1, kInMemory}) {
            QString result = tokens(text, chunk);
            QVERIFY2(result.endsWith("!" + failure), qPrintable(result));
        }
    }

    void skippingPlainTextContent() {
        // Skipped: plain text and its end tag. Kept for next(): anything else.
        struct Case {
            std::string document;
            bool skipped;
            const char* after;  // the token next() gives after the attempt
        };
        const Case cases[] = {
            {"<r><v>123</v><x/></r>", true, "x"},
            {"<r><v></v><x/></r>", true, "x"},
            {"<r><v>a&amp;b</v><x/></r>", false, "text"},
            {"<r><v><w/></v></r>", false, "w"},
            {"<r><v/><x/></r>", false, "v"},
            {"<r><v>1</w></r>", false, "text"},  // the mismatch is then reported by next()
        };
        for (const Case& test : cases) {
            XmlPullTokenizer tokenizer(chunkedSource(test.document, test.document.size()));
            QCOMPARE(tokenizer.next(), XmlToken::StartElement);
            QCOMPARE(tokenizer.next(), XmlToken::StartElement);
            QCOMPARE(tokenizer.skipTextContent(), test.skipped);
            XmlToken token = tokenizer.next();
            QString after = token == XmlToken::Text ? "text"
                            : token == XmlToken::Error
                                ? "error"
                                : QString::fromStdString(std::string(tokenizer.name()));
            QCOMPARE(after, QString(test.after));
        }
    }
};

QTEST_GUILESS_MAIN(TestXmlPullTokenizer)
#include "test_xml_pull_tokenizer.moc"
