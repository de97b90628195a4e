// The plain-shape check walks the table entry by entry over the inflated part. Every entry it
// accepts would be parsed by the XML reader into exactly the entry text it sees, without error
// and with the parser back between entries after it, so leaving it out of the parse changes
// nothing but the time.
#include "engine/xlsx/xlsx_plain_strings.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/container/zip_archive.h"
#include "engine/core/ascii.h"
#include "engine/core/matcher.h"
#include "engine/core/raw_prefilter.h"
#include "engine/core/string_table_matches.h"

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

// From `at`, past the bytes the XML reader takes as they are without a second look: printable
// ASCII but "&", "]" and "_". Sixteen at a time.
std::size_t printableAsciiEnd(std::string_view text, std::size_t at) {
    const char* data = text.data();
    const __m128i space = _mm_set1_epi8(0x20), del = _mm_set1_epi8(0x7F),
                  ampersand = _mm_set1_epi8('&'), bracket = _mm_set1_epi8(']'),
                  underscore = _mm_set1_epi8('_');
    for (; at + 16 <= text.size(); at += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        // Signed: bytes from 0x80 compare below the space too.
        const __m128i odd = _mm_or_si128(
            _mm_or_si128(_mm_cmplt_epi8(block, space), _mm_cmpeq_epi8(block, del)),
            _mm_or_si128(
                _mm_cmpeq_epi8(block, ampersand),
                _mm_or_si128(_mm_cmpeq_epi8(block, bracket), _mm_cmpeq_epi8(block, underscore))));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(odd));
        if (mask != 0) return at + static_cast<std::size_t>(__builtin_ctz(mask));
    }
    for (; at < text.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c < 0x20 || c >= 0x7F || c == '&' || c == ']' || c == '_') return at;
    }
    return at;
}

// Entry text the XML reader would read unchanged, apart from the five predefined entities.
bool plainText(std::string_view text) {
    static constexpr std::string_view kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
    for (std::size_t at = 0; at < text.size();) {
        at = printableAsciiEnd(text, at);
        if (at == text.size()) break;
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

// One <si><t>text</t></si> entry at `at`, its text in `entry`; kNone when the entry is not
// plain, the window's size when it is cut off by the window's end. `holdsAnchor` says whether
// its text holds the anchor. `nextAnchor` is where the anchor next occurs in `text` at or after
// some earlier entry's text (kNone: nowhere), looked for again only once behind this entry's
// text: an anchor has no "<", so one that begins in an entry's text ends there too.
std::size_t plainEntry(std::string_view text, std::size_t at, std::string_view anchor, bool& cutOff,
                       std::size_t& nextAnchor, std::string_view& entry, bool& holdsAnchor) {
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
    entry = text.substr(start, end - start);
    if (!plainText(entry)) return kNone;
    if (nextAnchor < start) {
        const std::size_t found = findAnchor(text.substr(start), anchor);
        nextAnchor = found == kNone ? kNone : start + found;
    }
    holdsAnchor = nextAnchor < end;
    return end + kClosing.size();
}

class PlainTableWalk {
  public:
    // With `matcher` and `matches`, entries that hold the anchor are matched here and
    // recorded, in order after the cleared ones before them, when their text is the bytes as
    // written: no reference, nor a carriage return, which the parser would change. Without,
    // the first such entry ends the walk.
    explicit PlainTableWalk(std::string_view anchor, const Matcher* matcher = nullptr,
                            StringTableMatches* matches = nullptr)
        : anchor_(anchor), matcher_(matcher), matches_(matches) {}

    // Walks the window as far as it can; `consumed` is how much of it is done with. The
    // first window starts at the part's start, and the opening is read in it.
    Step walk(std::string_view window, bool last, std::size_t& consumed) {
        consumed = 0;
        std::size_t nextAnchor = 0;  // not yet looked for in this window
        if (openingLength_ == 0) {
            std::size_t past = plainHeader(window);
            if (past == kNone)
                return !last && window.size() < kHeaderWindow ? Step::More : Step::NotPlain;
            openingLength_ = past;
            consumed = past;
        }
        for (;;) {
            std::size_t at = skipSpace(window, consumed);
            if (window.substr(at, 6) == "</sst>")
                return skipSpace(window, at + 6) == window.size() && last ? Step::Plain
                       : last                                             ? Step::NotPlain
                                                                          : Step::More;
            bool cutOff = false, holdsAnchor = false;
            std::string_view entry;
            std::size_t past =
                plainEntry(window, at, anchor_, cutOff, nextAnchor, entry, holdsAnchor);
            if (past == kNone) return cutOff && !last ? Step::More : Step::NotPlain;
            if (holdsAnchor && !record(entry)) return Step::NotPlain;
            consumed = past;
            if (!holdsAnchor) ++entries_;
        }
    }

    // The length of the declaration and <sst> tag once read, else 0.
    std::size_t openingLength() const { return openingLength_; }
    // The entries cleared since the last one recorded: none of them matches.
    std::size_t entries() const { return entries_; }

  private:
    bool record(std::string_view entry) {
        if (!matches_ || entry.find_first_of("&\r") != std::string_view::npos) return false;
        matches_->addUnmatched(entries_);
        entries_ = 0;
        matches_->add(matcher_->matches(entry), entry);
        return true;
    }

    static constexpr std::size_t kHeaderWindow = 64 * 1024;
    std::string_view anchor_;
    const Matcher* matcher_;
    StringTableMatches* matches_;
    std::size_t openingLength_ = 0;
    std::size_t entries_ = 0;
};

std::string_view asText(const ByteBuffer& bytes, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), size);
}

}  // namespace

bool plainStringTableLacksAnchor(std::string_view table, std::string_view lowerAnchor) {
    if (lowerAnchor.empty()) return false;
    PlainTableWalk walk(lowerAnchor);
    std::size_t consumed = 0;
    return walk.walk(table, true, consumed) == Step::Plain;
}

void PlainTableHead::keep(ByteBuffer bytes, std::size_t from, std::size_t to) {
    held_ = std::move(bytes);
    heldAt_ = from;
    heldEnd_ = to;
}

// A part that inflates whole is walked where it lies; a larger one through a window of about a
// megabyte, so that memory stays what streaming holds.
PlainTableHead PlainTableHead::read(ZipStream& stream, std::string_view lowerAnchor,
                                    const Matcher* matcher, StringTableMatches* matches) {
    PlainTableHead head;
    if (lowerAnchor.empty()) return head;
    PlainTableWalk walk(lowerAnchor, matcher, matches);
    auto finish = [&](Step step, ByteBuffer bytes, std::size_t consumed, std::size_t held,
                      bool first) {
        if (first) head.opening_.assign(asText(bytes, walk.openingLength()));
        head.entries_ = walk.entries();
        head.wholeTable_ = step == Step::Plain;
        if (!head.wholeTable_) head.keep(std::move(bytes), consumed, held);
    };
    auto whole = stream.takeWhole();
    if (!whole) {
        head.readFailure_ = whole.failure();
        return head;
    }
    if (whole.value()) {
        ByteBuffer bytes = std::move(*whole.value());
        const std::size_t size = bytes.size();
        std::size_t consumed = 0;
        Step step = walk.walk(asText(bytes, size), true, consumed);
        finish(step, std::move(bytes), consumed, size, true);
        return head;
    }
    constexpr std::size_t kWindow = std::size_t{1} << 20;
    ByteBuffer window(kWindow);
    std::size_t held = 0;
    bool first = true;  // the window still starts at the part's start
    for (;;) {
        auto got = stream.read(window.data() + held, kWindow - held);
        if (!got) {
            head.readFailure_ = got.failure();
            finish(Step::NotPlain, std::move(window), 0, held, first);
            return head;
        }
        held += got.value();
        bool last = got.value() == 0;
        if (!last && held < kWindow) continue;
        std::size_t consumed = 0;
        Step step = walk.walk(asText(window, held), last, consumed);
        // An entry larger than the window is left to the parse as well.
        if (step != Step::More || (consumed == 0 && held == kWindow)) {
            finish(step, std::move(window), consumed, held, first);
            return head;
        }
        if (first && walk.openingLength() > 0) {
            head.opening_.assign(asText(window, walk.openingLength()));
            first = false;
        }
        std::memmove(window.data(), window.data() + consumed, held - consumed);
        held -= consumed;
    }
}

Outcome<std::size_t> PlainTableHead::readOn(ZipStream& stream, std::uint8_t* buffer,
                                            std::size_t capacity) {
    if (openingAt_ < opening_.size()) {
        std::size_t take = std::min(capacity, opening_.size() - openingAt_);
        std::memcpy(buffer, opening_.data() + openingAt_, take);
        openingAt_ += take;
        return take;
    }
    if (heldAt_ < heldEnd_) {
        std::size_t take = std::min(capacity, heldEnd_ - heldAt_);
        std::memcpy(buffer, held_.data() + heldAt_, take);
        heldAt_ += take;
        if (heldAt_ == heldEnd_) ByteBuffer().swap(held_);
        return take;
    }
    if (readFailure_) return *readFailure_;
    return stream.read(buffer, capacity);
}

}  // namespace quillmark::engine
