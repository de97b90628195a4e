// Streams sharedStrings.xml with the general XML parser: the table is read once per keyword,
// so it is not on the per-cell hot path the worksheet tokenizer serves. Plain entries that
// cannot hold the keyword are passed over by a raw look first (xlsx_plain_strings.h).
#include "engine/xlsx/xlsx_shared_strings.h"

#include "engine/container/zip_archive.h"
#include "engine/core/matcher.h"
#include "engine/core/raw_prefilter.h"
#include "engine/core/string_table_matches.h"
#include "engine/xlsx/ooxml_text.h"
#include "engine/xlsx/xlsx_plain_strings.h"
#include "engine/xml/xml_parser.h"

namespace quillmark::engine {
namespace {

class SharedStringsHandler : public XmlHandler {
  public:
    SharedStringsHandler(const Matcher& matcher, StringTableMatches& matches)
        : matcher_(matcher), matches_(matches) {}

    void startElement(std::string_view name, const XmlAttributes&) override {
        if (name == "si") {
            inEntry_ = true;
            text_.clear();
        } else if (name == "rPh") {
            ++phoneticDepth_;
        } else if (name == "t" && inEntry_ && phoneticDepth_ == 0) {
            inText_ = true;
        }
    }
    void endElement(std::string_view name) override {
        if (name == "t") {
            inText_ = false;
        } else if (name == "rPh") {
            if (phoneticDepth_ > 0) --phoneticDepth_;
        } else if (name == "si" && inEntry_) {
            inEntry_ = false;
            if (mayHoldOoxmlEscape(text_)) {
                unescaped_.clear();
                appendOoxmlUnescaped(text_, unescaped_);
                matches_.add(matcher_.matches(unescaped_), unescaped_);
            } else {
                matches_.add(matcher_.matches(text_), text_);
            }
        }
    }
    void characters(std::string_view text) override {
        if (inText_) text_.append(text);
    }

  private:
    const Matcher& matcher_;
    StringTableMatches& matches_;
    std::string text_;
    std::string unescaped_;
    bool inEntry_ = false;
    bool inText_ = false;
    int phoneticDepth_ = 0;
};

}  // namespace

Status matchSharedStrings(const ZipArchive& zip, const std::string& partName,
                          const Matcher& matcher, StringTableMatches& matches) {
    matches.start(matcher.keyword());
    auto stream = zip.openPart(partName);
    if (!stream) {
        matches.invalidate();
        return stream.failure();
    }
    ZipStream& part = *stream.value();
    // The leading plain entries are counted, or matched where they hold the anchor, not
    // parsed; the parse goes on after them from the bytes already inflated.
    PlainTableHead head =
        PlainTableHead::read(part, rawAnchorOf(matcher.keyword()), &matcher, &matches);
    matches.addUnmatched(head.entriesWithoutMatch());
    if (head.wholeTable()) return Done{};
    SharedStringsHandler handler(matcher, matches);
    XmlParser parser(handler);
    Status parsed = parser.parseChunks(
        [&](std::uint8_t* buffer, std::size_t capacity) {
            return head.readOn(part, buffer, capacity);
        },
        false);
    if (!parsed) {
        matches.invalidate();
        return Failure{parsed.failure().kind, partName + ": " + parsed.failure().reason};
    }
    return Done{};
}

}  // namespace quillmark::engine
