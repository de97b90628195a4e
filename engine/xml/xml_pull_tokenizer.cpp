// The worksheet tokenizer. Every lexer works on the unconsumed bytes [begin_, end_) and
// either finishes a token, or asks for more input, in which case the token is lexed again
// from its start once the buffer has been topped up (and doubled when the token fills it).
#include "engine/xml/xml_pull_tokenizer.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/core/cancel.h"
#include "engine/core/utf8.h"

namespace quillmark::engine {
namespace {

constexpr std::size_t kInitialCapacity = std::size_t{128} << 10;

// Character classes by table: the tokenizer asks these for nearly every byte of a sheet.
enum CharClass : std::uint8_t { kSpace = 1, kNameChar = 2 };

constexpr auto kCharClasses = [] {
    std::array<std::uint8_t, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        bool delimiter = c == '/' || c == '>' || c == '<' || c == '=' || c == '"' || c == '\'' ||
                         c == '&' || c == '!' || c == '?' || c == 0;
        classes[c] = space ? kSpace : delimiter ? 0 : kNameChar;
    }
    return classes;
}();

inline bool isSpace(char c) {
    return kCharClasses[static_cast<unsigned char>(c)] == kSpace;
}
inline bool isNameChar(char c) {
    return kCharClasses[static_cast<unsigned char>(c)] == kNameChar;
}

bool isAllSpace(std::string_view text) {
    return std::all_of(text.begin(), text.end(), isSpace);
}

// Eight bytes a step, each multiplied in and folded down (names like "table:table-cell" are
// hashed for every cell), then the length.
std::uint64_t longNameKey(std::string_view name) {
    std::uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](std::uint64_t word) {
        hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
        hash ^= hash >> 29;
    };
    std::size_t at = 0;
    for (; at + 8 <= name.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, name.data() + at, 8);
        mix(word);
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, name.data() + at, name.size() - at);
    mix(tail);
    mix(name.size());
    return hash | (std::uint64_t{1} << 63);
}

inline std::uint64_t nameKey(std::string_view name) {
    if (name.size() > 7) return longNameKey(name);
    std::uint64_t key = name.size();
    for (char c : name) key = (key << 8) | static_cast<unsigned char>(c);
    return key;
}

// Names are short: a plain loop beats a call to memcmp.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// Characters XML allows (the Char production of XML 1.0).
bool isXmlCharacter(std::uint32_t c) {
    if (c == 0x9 || c == 0xA || c == 0xD) return true;
    if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) return false;
    return c <= 0x10FFFF;
}

bool appendCharacterReference(std::string_view digits, std::string& out) {
    int base = 10;
    if (!digits.empty() && (digits[0] == 'x')) {
        base = 16;
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.size() > 8) return false;
    std::uint32_t value = 0;
    for (char c : digits) {
        int digit = (c >= '0' && c <= '9')                 ? c - '0'
                    : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (base == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                           : -1;
        if (digit < 0) return false;
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    }
    if (!isXmlCharacter(value)) return false;
    appendUtf8(value, out);
    return true;
}

// The encoding an XML declaration names; workbook parts are UTF-8 unless they say otherwise.
bool declaresUtf8OrNothing(std::string_view declaration) {
    std::size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) return true;
    std::size_t quote = declaration.find_first_of("\"'", at);
    if (quote == std::string_view::npos) return false;
    std::size_t close = declaration.find(declaration[quote], quote + 1);
    if (close == std::string_view::npos) return false;
    std::string name(declaration.substr(quote + 1, close - quote - 1));
    for (char& c : name) c = static_cast<char>(c | 0x20);
    return name == "utf-8" || name == "utf8";
}

// The five entities XML predefines; '\0' for any other name.
char predefinedEntity(std::string_view name) {
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [entity, character] : kEntities)
        if (entity == name) return character;
    return '\0';
}

// The first of `stopA`, `stopB` or `stopC` in data[at, stop), or `stop`; sets `sawNote` when
// `note` comes before it. Sixteen bytes at a time where SSE2 is there: cell texts, attribute
// values and tags are most of a sheet's bytes, and a byte loop spends several instructions on
// each of them.
inline std::size_t findStop(const char* data, std::size_t at, std::size_t stop, char stopA,
                            char stopB, char stopC, char note, bool& sawNote) {
#if defined(__SSE2__)
    const __m128i a = _mm_set1_epi8(stopA), b = _mm_set1_epi8(stopB), c = _mm_set1_epi8(stopC);
    const __m128i n = _mm_set1_epi8(note);
    for (; at + 16 <= stop; at += 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        __m128i stopping =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, a), _mm_cmpeq_epi8(block, b)),
                         _mm_cmpeq_epi8(block, c));
        unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(stopping));
        unsigned notes = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, n)));
        if (stops != 0) {
            sawNote |= (notes & ((stops & (0u - stops)) - 1)) != 0;
            return at + static_cast<std::size_t>(__builtin_ctz(stops));
        }
        sawNote |= notes != 0;
    }
#endif
    for (; at < stop; ++at) {
        char here = data[at];
        if (here == stopA || here == stopB || here == stopC) return at;
        sawNote |= here == note;
    }
    return stop;
}

// The '>' that ends a start tag, searched from `at` outside quotes (attribute values may
// hold '>'), or `stop` when the bytes at hand end first.
inline std::size_t startTagEnd(const char* data, std::size_t at, std::size_t stop) {
    bool unused = false;
    for (;;) {
        std::size_t mark = findStop(data, at, stop, '>', '"', '\'', '>', unused);
        if (mark == stop || data[mark] == '>') return mark;
        char quote = data[mark];
        std::size_t close = findStop(data, mark + 1, stop, quote, quote, quote, quote, unused);
        if (close == stop) return stop;
        at = close + 1;
    }
}

}  // namespace

bool appendXmlUnescaped(std::string_view raw, std::string& out) {
    std::size_t at = 0;
    while (at < raw.size()) {
        std::size_t ampersand = raw.find('&', at);
        if (ampersand == std::string_view::npos) {
            out.append(raw.substr(at));
            break;
        }
        out.append(raw.substr(at, ampersand - at));
        std::size_t semicolon = raw.find(';', ampersand + 1);
        if (semicolon == std::string_view::npos || semicolon - ampersand > 12) return false;
        std::string_view entity = raw.substr(ampersand + 1, semicolon - ampersand - 1);
        if (char predefined = predefinedEntity(entity)) {
            out += predefined;
        } else if (entity.empty() || entity[0] != '#' ||
                   !appendCharacterReference(entity.substr(1), out)) {
            return false;
        }
        at = semicolon + 1;
    }
    return true;
}

// The sentinel '<' after the data ends every scan without a bounds check. Every byte that
// ends a name is below 0x40, so where SSE2 is there only such bytes (a name's ':' and '-'
// besides its end) are looked at one by one. `localStart` gets the position past the last ':'.
inline std::size_t XmlPullTokenizer::nameEnd(std::size_t from, std::size_t& localStart) const {
    const char* data = data_;
    localStart = from;
#if defined(__SSE2__)
    const __m128i highestLow = _mm_set1_epi8(0x3F);
    for (; from + 16 <= end_; from += 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
        __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(block, highestLow), block);
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(low)); mask != 0;
             mask &= mask - 1) {
            std::size_t at = from + static_cast<std::size_t>(__builtin_ctz(mask));
            if (!isNameChar(data[at])) return at;
            if (data[at] == ':') localStart = at + 1;
        }
    }
#endif
    for (; isNameChar(data[from]); ++from)
        if (data[from] == ':') localStart = from + 1;
    return from;
}

inline std::size_t XmlPullTokenizer::nameEnd(std::size_t from) const {
    std::size_t localStart = 0;
    return nameEnd(from, localStart);
}

XmlPullTokenizer::XmlPullTokenizer(Source source) : source_(std::move(source)) {
    buffer_.resize(kInitialCapacity + 1);
    buffer_[0] = '<';
    data_ = buffer_.data();
}

XmlPullTokenizer::XmlPullTokenizer(std::shared_ptr<const ByteBuffer> whole)
    : whole_(std::move(whole)) {
    // The document's own last '<' is the sentinel of the bytes read in place; what follows it
    // (the root's end tag, most often) is the one refill, copied into the buffer.
    data_ = reinterpret_cast<const char*>(whole_->data());
    const void* last = whole_->empty() ? nullptr : memrchr(data_, '<', whole_->size());
    end_ = last ? static_cast<std::size_t>(static_cast<const char*>(last) - data_) : 0;
    nextCancelCheck_ = 0;
}

XmlPullTokenizer::XmlPullTokenizer(const Mark& mark) : XmlPullTokenizer(mark.whole) {
    begin_ = mark.offset;
    nextCancelCheck_ = begin_;
    openElementKeys_ = mark.openElementKeys;
    atDocumentStart_ = false;
    sawRoot_ = true;
}

std::optional<XmlPullTokenizer::Mark> XmlPullTokenizer::markBeforeStartTag() const {
    if (!whole_ || inputEnded_) return std::nullopt;  // streamed, or in the copied tail
    Mark mark{whole_, tokenStart_, openElementKeys_};
    if (!pendingEnd_) mark.openElementKeys.pop_back();  // the start tag's own
    return mark;
}

// Bytes in memory are not read through a file, which would ask the cancel token: this asks it
// as often as reading would.
bool XmlPullTokenizer::askCancelToken() {
    nextCancelCheck_ = begin_ + kInitialCapacity;
    if (!cancelRequested()) return false;
    failed_ = true;
    failure_ = Failure{FailureKind::Cancelled, "search cancelled"};
    return true;
}

XmlToken XmlPullTokenizer::fail(FailureKind kind, std::string reason) {
    failed_ = true;
    failure_ = Failure{kind, "XML: " + std::move(reason)};
    return XmlToken::Error;
}

bool XmlPullTokenizer::refill() {
    if (whole_ && !inputEnded_) {
        const char* document = reinterpret_cast<const char*>(whole_->data());
        buffer_.assign(data_ + begin_, document + whole_->size());
        buffer_.push_back('<');
        data_ = buffer_.data();
        end_ = buffer_.size() - 1;
        begin_ = 0;
        inputEnded_ = true;
        nextCancelCheck_ = SIZE_MAX;
        return true;
    }
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    std::size_t capacity = buffer_.size() - 1;  // one byte kept for the sentinel
    if (end_ == capacity) {
        if (capacity >= kMaxTokenBytes) {
            fail(FailureKind::TooLarge, "a single token is larger than we keep in memory");
            return false;
        }
        capacity = std::min(capacity * 2, kMaxTokenBytes);
        buffer_.resize(capacity + 1);
        data_ = buffer_.data();
    }
    auto got = source_(buffer_.data() + end_, capacity - end_);
    if (!got) {
        failed_ = true;
        failure_ = got.failure();
        return false;
    }
    std::size_t count = std::min(got.value(), capacity - end_);
    if (count == 0) inputEnded_ = true;
    end_ += count;
    buffer_[end_] = '<';
    return true;
}

XmlToken XmlPullTokenizer::finish() {
    if (!sawRoot_) return fail(FailureKind::Truncated, "the part has no root element");
    if (!openElementKeys_.empty())
        return fail(FailureKind::Truncated, "the part ends inside an element");
    return XmlToken::EndOfDocument;
}

XmlToken XmlPullTokenizer::next() {
    if (failed_) return XmlToken::Error;
    if (pendingEnd_) {
        pendingEnd_ = false;
        return XmlToken::EndElement;
    }
    for (;;) {
        if (cancelledHere()) return XmlToken::Error;
        if (atDocumentStart_ && end_ - begin_ < 3 && !inputEnded_) {
            if (!refill()) return XmlToken::Error;
            continue;
        }
        if (atDocumentStart_) {
            atDocumentStart_ = false;
            std::string_view start(data_ + begin_, std::min<std::size_t>(end_ - begin_, 3));
            if (start == "\xEF\xBB\xBF") begin_ += 3;
            if (start.substr(0, 2) == "\xFF\xFE" || start.substr(0, 2) == "\xFE\xFF")
                return fail(FailureKind::Unsupported, "UTF-16 parts are not read");
        }
        if (begin_ == end_) {
            if (inputEnded_) return finish();
            if (!refill()) return XmlToken::Error;
            continue;
        }
        XmlToken token = XmlToken::EndOfDocument;  // stays so when the lexer skipped something
        tokenStart_ = begin_;
        Lex result = data_[begin_] == '<' ? lexMarkup(token) : lexText(token);
        if (result == Lex::Bad) return XmlToken::Error;
        if (result == Lex::NeedMore) {
            if (inputEnded_) return fail(FailureKind::Truncated, "the part ends inside a tag");
            if (!refill()) return XmlToken::Error;
            continue;
        }
        if (token != XmlToken::EndOfDocument) return token;
    }
}

inline XmlPullTokenizer::Lex XmlPullTokenizer::lexText(XmlToken& token) {
    // Cell texts are short: one plain loop finds the end and any entity at once.
    const char* start = data_ + begin_;
    bool ampersand = false;
    std::size_t length = findStop(start, 0, end_ - begin_, '<', '<', '<', '&', ampersand);
    if (begin_ + length == end_ && !inputEnded_) return Lex::NeedMore;
    std::string_view raw(start, length);
    if (openElementKeys_.empty()) {
        if (!isAllSpace(raw)) {
            fail(FailureKind::Corrupt, "text outside the root element");
            return Lex::Bad;
        }
        begin_ += length;
        return Lex::Done;
    }
    if (ampersand) {
        textStorage_.clear();
        if (!appendXmlUnescaped(raw, textStorage_)) {
            fail(FailureKind::Corrupt, "an undefined entity or a bad character reference");
            return Lex::Bad;
        }
        text_ = textStorage_;
    } else {
        text_ = raw;
    }
    begin_ += length;
    token = XmlToken::Text;
    return Lex::Done;
}

inline XmlPullTokenizer::Lex XmlPullTokenizer::lexMarkup(XmlToken& token) {
    std::string_view rest(data_ + begin_, end_ - begin_);
    if (rest.size() < 2) return Lex::NeedMore;
    if (rest[1] == '/') return lexEndTag(token);
    if (rest[1] == '?') return lexDeclaration();
    if (rest[1] != '!') return lexStartTag(token);
    constexpr std::string_view kComment = "<!--", kCdata = "<![CDATA[";
    if (rest.substr(0, kComment.size()) == kComment) return lexSkipped("-->", kComment.size());
    if (rest.substr(0, kCdata.size()) == kCdata) return lexCdata(token);
    bool couldStillBeOne =
        (rest.size() < kComment.size() && kComment.substr(0, rest.size()) == rest) ||
        (rest.size() < kCdata.size() && kCdata.substr(0, rest.size()) == rest);
    if (couldStillBeOne) return Lex::NeedMore;
    fail(FailureKind::Corrupt, "document type and entity declarations are not allowed");
    return Lex::Bad;
}

XmlPullTokenizer::Lex XmlPullTokenizer::lexSkipped(std::string_view terminator, std::size_t from) {
    std::string_view rest(data_ + begin_, end_ - begin_);
    std::size_t at = rest.find(terminator, from);
    if (at == std::string_view::npos) return Lex::NeedMore;
    begin_ += at + terminator.size();
    return Lex::Done;
}

XmlPullTokenizer::Lex XmlPullTokenizer::lexDeclaration() {
    std::string_view rest(data_ + begin_, end_ - begin_);
    std::size_t at = rest.find("?>", 2);
    if (at == std::string_view::npos) return Lex::NeedMore;
    std::string_view instruction = rest.substr(0, at);
    if (instruction.substr(0, 6) == "<?xml " && !declaresUtf8OrNothing(instruction)) {
        fail(FailureKind::Unsupported, "a part in an encoding other than UTF-8");
        return Lex::Bad;
    }
    begin_ += at + 2;
    return Lex::Done;
}

XmlPullTokenizer::Lex XmlPullTokenizer::lexCdata(XmlToken& token) {
    constexpr std::size_t kOpening = 9;  // "<![CDATA["
    std::string_view rest(data_ + begin_, end_ - begin_);
    std::size_t at = rest.find("]]>", kOpening);
    if (at == std::string_view::npos) return Lex::NeedMore;
    if (openElementKeys_.empty()) {
        fail(FailureKind::Corrupt, "CDATA outside the root element");
        return Lex::Bad;
    }
    text_ = rest.substr(kOpening, at - kOpening);
    begin_ += at + 3;
    token = XmlToken::Text;
    return Lex::Done;
}

inline XmlPullTokenizer::Lex XmlPullTokenizer::lexEndTag(XmlToken& token) {
    const char* data = data_;
    std::size_t nameStart = begin_ + 2, localStart = 0, nameStop = nameEnd(nameStart, localStart);
    if (nameStop == end_) return Lex::NeedMore;
    std::size_t at = nameStop;
    while (isSpace(data[at])) ++at;
    if (at == end_) return Lex::NeedMore;
    std::string_view qualified(data + nameStart, nameStop - nameStart);
    if (qualified.empty() || data[at] != '>') {
        fail(FailureKind::Corrupt, "a malformed end tag");
        return Lex::Bad;
    }
    if (openElementKeys_.empty() || openElementKeys_.back() != nameKey(qualified)) {
        fail(FailureKind::Corrupt, "an end tag that closes no open element");
        return Lex::Bad;
    }
    openElementKeys_.pop_back();
    name_ = std::string_view(data + localStart, nameStop - localStart);
    begin_ = at + 1;
    token = XmlToken::EndElement;
    return Lex::Done;
}

inline XmlPullTokenizer::Lex XmlPullTokenizer::lexStartTag(XmlToken& token) {
    const char* data = data_;
    std::size_t nameStart = begin_ + 1, localStart = 0, nameStop = nameEnd(nameStart, localStart);
    if (nameStop == end_) return Lex::NeedMore;
    if (nameStop == nameStart) {
        fail(FailureKind::Corrupt, "a tag without a name");
        return Lex::Bad;
    }
    if (sawRoot_ && openElementKeys_.empty()) {
        fail(FailureKind::Corrupt, "a second root element");
        return Lex::Bad;
    }
    attributes_.clear();
    std::size_t at = nameStop;
    bool empty = false, closed = false;
    for (;;) {
        std::size_t spaceStart = at;
        while (isSpace(data[at])) ++at;
        if (at == end_) return Lex::NeedMore;
        if (data[at] == '>') {
            ++at;
            closed = true;
            break;
        }
        if (data[at] == '/') {
            if (at + 1 == end_) return Lex::NeedMore;
            if (data[at + 1] != '>') break;  // reported below as malformed
            empty = closed = true;
            at += 2;
            break;
        }
        std::size_t attributeStart = at, attributeLocal = 0;
        std::size_t attributeStop = nameEnd(at, attributeLocal);
        if (attributeStop == end_) return Lex::NeedMore;
        if (at == spaceStart || attributeStop == attributeStart) break;
        at = attributeStop;
        while (isSpace(data[at])) ++at;
        if (at == end_) return Lex::NeedMore;
        if (data[at++] != '=') break;
        while (isSpace(data[at])) ++at;
        if (at == end_) return Lex::NeedMore;
        char quote = data[at];
        if (quote != '"' && quote != '\'') break;
        bool ampersand = false;
        std::size_t close = findStop(data, at + 1, end_, quote, '<', '<', '&', ampersand);
        if (close == end_) return Lex::NeedMore;
        if (data[close] == '<') break;  // not allowed in an attribute value
        std::string_view value(data + at + 1, close - at - 1);
        if (ampersand) {
            textStorage_.clear();
            if (!appendXmlUnescaped(value, textStorage_)) break;
        }
        attributes_.push_back(
            {std::string_view(data + attributeLocal, attributeStop - attributeLocal),
             std::string_view(data + attributeStart, attributeStop - attributeStart), value,
             ampersand});
        at = close + 1;
    }
    if (!closed) {
        fail(FailureKind::Corrupt, "a malformed start tag");
        return Lex::Bad;
    }
    std::string_view qualified(data + nameStart, nameStop - nameStart);
    sawRoot_ = true;
    if (empty) {
        pendingEnd_ = true;
    } else {
        openElementKeys_.push_back(nameKey(qualified));
    }
    name_ = std::string_view(data + localStart, nameStop - localStart);
    qualifiedName_ = qualified;
    begin_ = at;
    token = XmlToken::StartElement;
    return Lex::Done;
}

bool XmlPullTokenizer::skipUntilOpenElements(std::size_t count) {
    if (failed_) return false;
    pendingEnd_ = false;  // the empty element is over
    std::size_t depth = openElementKeys_.size();
    while (depth > count) {
        if (cancelledHere()) return false;
        skipPlainTags(depth, count);
        if (depth <= count) break;
        // The sentinel '<' after the data ends the search for the next tag.
        const char* data = data_;
        const void* tag = std::memchr(data + begin_, '<', end_ - begin_ + 1);
        begin_ = static_cast<std::size_t>(static_cast<const char*>(tag) - data);
        Lex result = begin_ == end_ ? Lex::NeedMore : skipMarkup(depth);
        if (result == Lex::Bad) return false;
        if (result == Lex::Done) continue;
        if (inputEnded_) {
            fail(FailureKind::Truncated, "the part ends inside an element");
            return false;
        }
        if (!refill()) return false;
    }
    openElementKeys_.resize(std::min(count, openElementKeys_.size()));
    return true;
}

namespace {

// The state of a walk over plain tags: in text, in a start tag (outside or inside a quoted
// value), or in an end tag.
enum class TagWalk { Text, StartTag, Quoted, EndTag };

}  // namespace

// The usual run of start tags, end tags and text, walked without a call per tag: the '<', '>'
// and quotes of the bytes at hand are taken in order by one state machine, sixteen bytes a
// step. Tags end exactly as skipMarkup ends them. Stops once `depth` is down to `count`, with
// begin_ past that tag; at a comment, CDATA section or processing instruction, or where the
// cancel token is next due, with begin_ at the tag in progress (or in text) for skipMarkup to
// go on from; and at the end of the bytes at hand, with begin_ at the tag left unfinished.
void XmlPullTokenizer::skipPlainTags(std::size_t& depth, std::size_t count) {
    const char* data = data_;
    const std::size_t stop = std::min(end_, std::max(begin_, nextCancelCheck_));
    TagWalk state = TagWalk::Text;
    char quote = '\0';
    std::size_t tagStart = begin_;
    // One byte known to be '<', '>' or a quote; false when the walk is over.
    auto take = [&](std::size_t at) {
        const char c = data[at];
        switch (state) {
            case TagWalk::Text:
                if (c != '<') return true;
                if (data[at + 1] == '!' || data[at + 1] == '?') {  // data[end_] is a '<'
                    begin_ = at;
                    return false;
                }
                tagStart = at;
                state = data[at + 1] == '/' ? TagWalk::EndTag : TagWalk::StartTag;
                return true;
            case TagWalk::StartTag:
                if (c == '"' || c == '\'') {
                    quote = c;
                    state = TagWalk::Quoted;
                    return true;
                }
                if (c != '>') return true;
                if (data[at - 1] != '/') ++depth;
                break;
            case TagWalk::Quoted:
                if (c == quote) state = TagWalk::StartTag;
                return true;
            case TagWalk::EndTag:
                if (c != '>') return true;
                --depth;
                break;
        }
        state = TagWalk::Text;
        begin_ = at + 1;
        return depth > count;
    };
    std::size_t at = begin_;
#if defined(__SSE2__)
    const __m128i open = _mm_set1_epi8('<'), close = _mm_set1_epi8('>'),
                  doubleQuote = _mm_set1_epi8('"'), singleQuote = _mm_set1_epi8('\'');
    for (; at + 16 <= stop; at += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        const __m128i marks = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(block, open), _mm_cmpeq_epi8(block, close)),
            _mm_or_si128(_mm_cmpeq_epi8(block, doubleQuote), _mm_cmpeq_epi8(block, singleQuote)));
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(marks)); mask != 0;
             mask &= mask - 1)
            if (!take(at + static_cast<std::size_t>(__builtin_ctz(mask)))) return;
    }
#endif
    for (; at < stop; ++at) {
        const char c = data[at];
        if ((c == '<' || c == '>' || c == '"' || c == '\'') && !take(at)) return;
    }
    begin_ = state == TagWalk::Text ? stop : tagStart;
}

// One tag, comment, CDATA section or processing instruction at begin_, counted in `depth`.
XmlPullTokenizer::Lex XmlPullTokenizer::skipMarkup(std::size_t& depth) {
    std::string_view rest(data_ + begin_, end_ - begin_);
    if (rest.size() < 2) return Lex::NeedMore;
    if (rest[1] == '/') {
        std::size_t close = rest.find('>', 2);
        if (close == std::string_view::npos) return Lex::NeedMore;
        --depth;
        begin_ += close + 1;
        return Lex::Done;
    }
    if (rest[1] == '?') return lexSkipped("?>", 2);
    if (rest[1] == '!') {
        constexpr std::string_view kComment = "<!--", kCdata = "<![CDATA[";
        if (rest.substr(0, kComment.size()) == kComment) return lexSkipped("-->", 4);
        if (rest.substr(0, kCdata.size()) == kCdata) return lexSkipped("]]>", kCdata.size());
        if (rest.size() < kCdata.size()) return Lex::NeedMore;
        fail(FailureKind::Corrupt, "document type and entity declarations are not allowed");
        return Lex::Bad;
    }
    // A start tag ends at the first '>' outside quotes (attribute values may hold '>').
    std::size_t at = startTagEnd(rest.data(), 1, rest.size());
    if (at == rest.size()) return Lex::NeedMore;
    if (rest[at - 1] != '/') ++depth;
    begin_ += at + 1;
    return Lex::Done;
}

bool XmlPullTokenizer::skipTextContent() {
    if (failed_ || pendingEnd_ || openElementKeys_.empty()) return false;
    const char* data = data_;
    bool ampersand = false;
    std::size_t at = findStop(data, begin_, end_, '<', '<', '<', '&', ampersand);
    if (ampersand || at == end_ || data[at + 1] != '/') return false;
    std::size_t nameStart = at + 2, nameStop = nameEnd(nameStart);
    if (nameStop == end_) return false;
    at = nameStop;
    while (isSpace(data[at])) ++at;
    if (at == end_ || data[at] != '>') return false;
    if (openElementKeys_.back() !=
        nameKey(std::string_view(data + nameStart, nameStop - nameStart)))
        return false;  // left for next() to report
    openElementKeys_.pop_back();
    begin_ = at + 1;
    return true;
}

std::string_view XmlPullTokenizer::attributeValue(std::size_t index, std::string& storage) const {
    std::string_view raw = attributes_[index].rawValue;
    if (!attributes_[index].hasReferences) return raw;
    storage.clear();
    appendXmlUnescaped(raw, storage);  // checked when the tag was lexed
    return storage;
}

std::optional<std::string_view> XmlPullTokenizer::attribute(std::string_view localName,
                                                            std::string& storage) const {
    for (const Attribute& attribute : attributes_) {
        if (!sameName(attribute.name, localName)) continue;
        if (!attribute.hasReferences) return attribute.rawValue;
        storage.clear();
        appendXmlUnescaped(attribute.rawValue, storage);  // checked when the tag was lexed
        return std::string_view(storage);
    }
    return std::nullopt;
}

}  // namespace quillmark::engine
