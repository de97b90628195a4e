// The pull-tokenizer parse against expat on the same bytes: wherever it does not decline, the
// handler sees exactly expat's elements, attributes and text, and expat accepts the document.
#include <QtTest>

#include "engine/xml/pull_parse.h"

using namespace quillmark;
using namespace quillmark::engine;

namespace {

// Every event as one line, adjacent text joined (the two split text differently).
class Recorder : public XmlHandler {
  public:
    explicit Recorder(std::vector<std::string>& names) : names_(names) {}
    void startElement(std::string_view name, const XmlAttributes& attributes) override {
        flush();
        log_ += "<" + std::string(name);
        for (const std::string& attribute : names_)
            if (const char* value = attributes.findQualified(attribute))
                log_ += " " + attribute + "=[" + value + "]";
        log_ += ">";
    }
    void endElement(std::string_view name) override {
        flush();
        log_ += "</" + std::string(name) + ">";
    }
    void characters(std::string_view text) override { text_.append(text); }
    std::string log() {
        flush();
        return log_;
    }

  private:
    void flush() {
        if (!text_.empty()) log_ += "{" + text_ + "}";
        text_.clear();
    }
    std::vector<std::string>& names_;
    std::string log_, text_;
};

std::vector<std::string> kAttributes = {"a", "b", "ss:Name", "x:Name", "ss:Type", "ss:Formula"};

// The events of the pull-tokenizer parse (or "declined"), or of expat's; then "!" and the
// failure's kind when the parse failed.
std::string events(const std::string& document, bool pull) {
    auto data = memoryData(std::vector<std::uint8_t>(document.begin(), document.end()));
    Recorder recorder(kAttributes);
    XmlParser parser(recorder);
    const std::optional<Status> parsed =
        pull ? parseWithPullTokenizer(*data, recorder) : parser.parse(*data);
    if (!parsed) return "declined";
    std::string log = recorder.log();
    if (!*parsed) log += std::string("!") + failureKindName(parsed->failure().kind);
    return log;
}

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// A document large enough that every read of it ends inside a line end or a character:
// cells of CR LF, tabs, references and multi-byte text, in a pattern of odd length.
std::string straddlingDocument(std::size_t pad) {
    std::string document =
        kDeclaration + "<?mso-application progid=\"Excel.Sheet\"?>\r\n<w>" + std::string(pad, ' ');
    for (int i = 0; i < 9000; ++i)
        document += "<c a=\"x\r\ny\tz&#10;\"\r\n>\xC3\xA9\r\n\xE2\x82\xAC\r\xF0\x9D\x84\x9E&amp;" +
                    std::to_string(i) + "</c>\r\n";
    return document + "</w>\r\n";
}

}  // namespace

class TestPullParse : public QObject {
    Q_OBJECT

  private slots:
    void sameEventsAsExpat_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("declined");
        auto row = [](const char* name, const std::string& document, bool declined) {
            QTest::newRow(name) << QByteArray::fromStdString(document) << declined;
        };
        // Taken: what SpreadsheetML writers produce, and the normalizations expat makes.
        row("declaration and instruction",
            kDeclaration + "<?mso-application progid=\"Excel.Sheet\"?>\n<w a=\"1\">t</w>", false);
        row("no declaration, byte order mark", "\xEF\xBB\xBF<w>t</w>", false);
        row("standalone, single quotes",
            "<?xml version='1.0' encoding='utf-8' standalone='yes'?><w/>", false);
        row("CR LF and CR in text become LF", "<w>a\r\nb\rc\r\r\nd</w>", false);
        row("line ends and tabs in a value become spaces", "<w a=\"1\r\n2\t3\n4\r5\"/>", false);
        row("references in a value stay", "<w a=\"1&#10;2&#9;3&#13;&lt;&amp;\"/>", false);
        row("reference to CR in text stays", "<w>a&#13;&#xD;b</w>", false);
        row("prefixed attributes of one local name",
            "<w ss:Name=\"s\" x:Name=\"x\"><c b='&quot;'/></w>", false);
        row("multi-byte text", "<w>\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E\xEF\xBF\xBD</w>", false);
        row("whitespace around the root", "\n\t<w> </w>\r\n\n", false);
        for (const char* fixture : {"/xml/book2003.xml", "/every_format/book-2003.xml"}) {
            QFile file(QString(QUILLMARK_TEST_DATA) + fixture);
            QVERIFY(file.open(QIODevice::ReadOnly));
            row(fixture, file.readAll().toStdString(), false);
        }
        for (int shift : {0, 1, 2, 3})
            QTest::addRow("text straddling reads, shifted by %d", shift)
                << QByteArray::fromStdString(straddlingDocument(shift)) << false;
        row("cut inside an element", "<w><c>t</c>", true);
        row("cut inside a tag", "<w><c a=\"1", true);
        // Declined: expat may read these otherwise, or refuse them where the tokenizer would not.
        row("comment", "<w><!-- c --></w>", true);
        row("comment with a double hyphen", "<w><!-- a -- b --></w>", true);
        row("CDATA", "<w><![CDATA[a]]></w>", true);
        row("bracket run ending markup in text", "<w>a]]>b</w>", true);
        row("bracket run split by a reference", "<w>a]]&gt;b</w>", false);
        row("document type", "<!DOCTYPE w><w/>", true);
        row("instruction after the root starts", "<w><?pi x?></w>", true);
        row("instruction named like the declaration", "<?XmL x?><w/>", true);
        row("declaration not first", "\n<?xml version=\"1.0\"?><w/>", true);
        row("declaration without version", "<?xml encoding=\"UTF-8\"?><w/>", true);
        row("another version", "<?xml version=\"1.1\"?><w/>", true);
        row("utf8 spelt without a hyphen", "<?xml version=\"1.0\" encoding=\"utf8\"?><w/>", true);
        row("Latin-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><w>\xE9</w>", true);
        row("UTF-16", std::string("\xFF\xFE<\0w\0/\0>\0", 10), true);
        row("invalid UTF-8", "<w>\xE9t\xE9</w>", true);
        row("overlong UTF-8", "<w>\xC0\xAF</w>", true);
        row("encoded surrogate", "<w>\xED\xA0\x80</w>", true);
        row("U+FFFF", "<w>\xEF\xBF\xBF</w>", true);
        row("character cut off at the end", "<w>t</w>\xE2\x82", true);
        row("control character", "<w>a\x01</w>", true);
        row("NUL", std::string("<w>a\0</w>", 9), true);
        row("duplicate attribute", "<w a=\"1\" a=\"2\"/>", true);
        row("name starting with a digit", "<1w/>", true);
        row("attribute name with a bad character", "<w a;b=\"1\"/>", true);
        row("non-ASCII name", "<w\xC3\xA9/>", true);
        row("undefined entity", "<w>&nbsp;</w>", true);
        row("mismatched end tag", "<w><c></w>", true);
        row("text after the root", "<w/>t", true);
    }

    void sameEventsAsExpat() {
        QFETCH(QByteArray, document);
        QFETCH(bool, declined);
        const std::string quick = events(document.toStdString(), true);
        QCOMPARE(QString::fromStdString(quick),
                 declined ? QString("declined")
                          : QString::fromStdString(events(document.toStdString(), false)));
    }
};

QTEST_APPLESS_MAIN(TestPullParse)
#include "test_pull_parse.moc"
