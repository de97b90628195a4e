// The plain-shape check walks the table entry by entry through a window of the inflated part.
// Every byte it accepts would be parsed by the XML reader into exactly the entry text it sees,
// and every part it accepts would parse without error, so skipping the parse changes nothing.
#include "engine/xlsx/xlsx_plain_strings.h"

#include <cstdint>
#include <vector>

#include "engine/container/zip_archive.h"
#include "engine/core/ascii.h"
#include "engine/core/raw_prefilter.h"

namespace quillmark::engine {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::size_t skipSpace(std::string_view text, std::size_t at) {
    while (at < text.size() && isSpace(text[at])) ++at;
    return at;
}

// Length of a strictly valid UTF-8 sequence at `at` that XML allows, or 0.
std::size_t validSequence(std::string_view text, std::size_t at) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
    char32_t value = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kLeast[length] || value > 0x10FFFF) return 0;
    if ((value >= 0xD800 && value <= 0xDFFF) || value == 0xFFFE || value == 0xFFFF) return 0;
    return length;
}

// Entry text the XML reader would read unchanged, apart from the five predefined entities.
bool plainText(std::string_view text) {
    static constexpr std::string_view kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
    for (std::size_t at = 0; at < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[at]);
        if (c >= 0x20 && c < 0x7F && c != '&' && c != ']' && c != '_') {
            ++at;
        } else if (c == '\t' || c == '\n' || c == '\r') {
            ++at;
        } else if (c == '&') {
            std::size_t length = 0;
            for (std::string_view entity : kEntities)
                if (text.substr(at, entity.size()) == entity) length = entity.size();
            if (length == 0) return false;
            at += length;
        } else if (c == ']') {
            if (text.substr(at, 3) == "]]>") return false;
            ++at;
        } else if (c == '_') {
            // _xHHHH_ escapes are decoded after parsing; any "_x" is left to the parser.
            if (at + 1 < text.size() && (text[at + 1] == 'x' || text[at + 1] == 'X')) return false;
            ++at;
        } else if (c >= 0x80) {
            std::size_t length = validSequence(text, at);
            if (length == 0) return false;
            at += length;
        } else {
            return false;
        }
    }
    return true;
}

constexpr std::size_t kNone = std::string_view::npos;

bool isNameCharacter(char c) {
    return isAsciiLetter(c) || isAsciiDigit(c) || c == ':' || c == '_' || c == '.' || c == '-';
}

// The attributes of the <sst> tag up to and including its '>': printable values, no
// references, no repeated names. Returns the index past '>' or npos.
std::size_t plainAttributes(std::string_view text, std::size_t at) {
    std::vector<std::string_view> names;
    for (;;) {
        std::size_t start = skipSpace(text, at);
        if (start < text.size() && text[start] == '>') return start + 1;
        if (start == at || start >= text.size() || !isAsciiLetter(text[start])) return kNone;
        std::size_t end = start;
        while (end < text.size() && isNameCharacter(text[end])) ++end;
        std::string_view name = text.substr(start, end - start);
        for (std::string_view seen : names)
            if (seen == name) return kNone;
        names.push_back(name);
        if (end + 1 >= text.size() || text[end] != '=' ||
            (text[end + 1] != '"' && text[end + 1] != '\''))
            return kNone;
        std::size_t close = text.find(text[end + 1], end + 2);
        if (close == std::string_view::npos) return kNone;
        for (std::size_t i = end + 2; i < close; ++i) {
            char c = text[i];
            if (c < 0x20 || c >= 0x7F || c == '<' || c == '&') return kNone;
        }
        at = close + 1;
    }
}

// The declaration forms table writers use; anything else (another encoding) is left to the parser.
std::size_t plainHeader(std::string_view text) {
    static constexpr std::string_view kDeclarations[] = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
        "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>",
        "<?xml version=\"1.0\" standalone=\"yes\"?>",
        "<?xml version=\"1.0\"?>"};
    std::size_t at = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    for (std::string_view declaration : kDeclarations) {
        if (text.substr(at, declaration.size()) == declaration) {
            at += declaration.size();
            break;
        }
    }
    at = skipSpace(text, at);
    if (text.substr(at, 4) != "<sst") return kNone;
    return plainAttributes(text, at + 4);
}

enum class Step { More, Plain, NotPlain };

// One <si><t>text</t></si> entry at `at`; kNone when the entry is not plain or holds the
// anchor, the window's size when it is cut off by the window's end.
std::size_t plainEntry(std::string_view text, std::size_t at, std::string_view anchor,
                       bool& cutOff) {
    static constexpr std::string_view kOpenings[] = {"<si><t>", "<si><t xml:space=\"preserve\">"};
    static constexpr std::string_view kClosing = "</t></si>";
    cutOff = false;
    std::size_t start = kNone;
    for (std::string_view opening : kOpenings)
        if (text.substr(at, opening.size()) == opening) start = at + opening.size();
    if (start == kNone) {
        cutOff = text.size() - at < kOpenings[1].size();
        return kNone;
    }
    std::size_t end = text.find('<', start);
    if (end == kNone || text.size() - end < kClosing.size()) {
        cutOff = true;
        return kNone;
    }
    if (text.substr(end, kClosing.size()) != kClosing) return kNone;
    std::string_view entry = text.substr(start, end - start);
    if (!plainText(entry) || containsAnchor(entry, anchor)) return kNone;
    return end + kClosing.size();
}

class PlainTableWalk {
  public:
    explicit PlainTableWalk(std::string_view anchor) : anchor_(anchor) {}

    // Walks the window as far as it can; `consumed` is how much of it is done with.
    Step walk(std::string_view window, bool last, std::size_t& consumed) {
        consumed = 0;
        if (!headerDone_) {
            std::size_t past = plainHeader(window);
            if (past == kNone)
                return !last && window.size() < kHeaderWindow ? Step::More : Step::NotPlain;
            headerDone_ = true;
            consumed = past;
        }
        for (;;) {
            std::size_t at = skipSpace(window, consumed);
            if (window.substr(at, 6) == "</sst>")
                return skipSpace(window, at + 6) == window.size() && last ? Step::Plain
                       : last                                             ? Step::NotPlain
                                                                          : Step::More;
            bool cutOff = false;
            std::size_t past = plainEntry(window, at, anchor_, cutOff);
            if (past == kNone) return cutOff && !last ? Step::More : Step::NotPlain;
            consumed = past;
        }
    }

  private:
    static constexpr std::size_t kHeaderWindow = 64 * 1024;
    std::string_view anchor_;
    bool headerDone_ = false;
};

}  // namespace

bool plainStringTableLacksAnchor(std::string_view table, std::string_view lowerAnchor) {
    if (lowerAnchor.empty()) return false;
    PlainTableWalk walk(lowerAnchor);
    std::size_t consumed = 0;
    return walk.walk(table, true, consumed) == Step::Plain;
}

bool sharedStringsCannotMatch(const ZipArchive& zip, const std::string& partName,
                              std::string_view lowerAnchor) {
    if (lowerAnchor.empty()) return false;
    constexpr std::size_t kWindow = std::size_t{1} << 20;
    auto stream = zip.openPart(partName);
    if (!stream) return false;
    PlainTableWalk walk(lowerAnchor);
    std::string window(kWindow, '\0');
    std::size_t held = 0;
    bool last = false;
    while (!last) {
        auto read = stream.value()->read(reinterpret_cast<std::uint8_t*>(window.data()) + held,
                                         kWindow - held);
        if (!read) return false;
        held += read.value();
        last = read.value() == 0;
        if (!last && held < kWindow) continue;
        std::size_t consumed = 0;
        Step step = walk.walk(std::string_view(window.data(), held), last, consumed);
        if (step != Step::More) return step == Step::Plain;
        if (consumed == 0 && held == kWindow) return false;  // one entry larger than the window
        window.erase(0, consumed);
        window.resize(kWindow, '\0');
        held -= consumed;
    }
    return false;
}

}  // namespace quillmark::engine
