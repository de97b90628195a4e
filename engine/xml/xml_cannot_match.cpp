// The raw test behind skipping a sheet part. Its one pass looks at every "<", ">" and "&"
// sixteen bytes at a time: cheap beside tokenizing, which decides on every byte.
#include "engine/xml/xml_cannot_match.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/core/ascii.h"
#include "engine/core/raw_prefilter.h"
#include "engine/core/wide_vectors.h"
#include "engine/xml/xml_bytes.h"
#include "engine/xml/xml_pull_tokenizer.h"

namespace quillmark::engine {
namespace {

// Any run of an anchor is an anchor too: the join masks below have a bit per split.
constexpr std::size_t kLongestAnchor = 32;

struct Root {
    std::size_t tagEnd = 0;  // just past the start tag's ">"
    std::string_view name;   // as written, prefix and all
};

// The root's start tag, when the part opens with nothing but a declaration before it and
// the tokenizer accepts that opening as a whole.
bool findRoot(std::string_view xml, Root& root) {
    std::size_t at = xml.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    if (xml.substr(at, 5) == "<?xml") {
        std::size_t close = xml.find("?>", at);
        if (close == std::string_view::npos) return false;
        at = close + 2;
    }
    while (at < xml.size() && isXmlSpace(xml[at])) ++at;
    if (at + 1 >= xml.size() || xml[at] != '<' || isXmlNameEnd(xml[at + 1]) || xml[at + 1] == '!' ||
        xml[at + 1] == '?')
        return false;
    std::size_t nameEnd = at + 1;
    while (nameEnd < xml.size() && !isXmlNameEnd(xml[nameEnd])) ++nameEnd;
    std::size_t close = xml.find('>', nameEnd);
    if (close == std::string_view::npos || xml[close - 1] == '/') return false;
    root.name = xml.substr(at + 1, nameEnd - at - 1);
    root.tagEnd = close + 1;
    std::string_view opening = xml.substr(0, root.tagEnd);
    XmlPullTokenizer tokens(
        [opening, given = std::size_t{0}](char* buffer, std::size_t capacity) mutable {
            std::size_t count = std::min(capacity, opening.size() - given);
            std::memcpy(buffer, opening.data() + given, count);
            given += count;
            return Outcome<std::size_t>(count);
        });
    return tokens.next() == XmlToken::StartElement;
}

// Just past the start tag that `xml` opens with, or npos when it does not open with one whole.
// A ">" inside a quoted attribute value does not end the tag.
std::size_t startTagEnd(std::string_view xml) {
    if (xml.size() < 2 || xml[0] != '<' || isXmlNameEnd(xml[1]) || xml[1] == '!' || xml[1] == '?')
        return std::string_view::npos;
    char quote = '\0';
    for (std::size_t at = 1; at < xml.size(); ++at) {
        const char c = xml[at];
        if (quote != '\0') {
            if (c == quote) quote = '\0';
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return at + 1;
        } else if (c == '<') {
            return std::string_view::npos;
        }
    }
    return std::string_view::npos;
}

// The part ends with the root's end tag and white space after it.
bool endsWithRootEnd(std::string_view xml, std::string_view rootName) {
    std::size_t end = xml.size();
    while (end > 0 && isXmlSpace(xml[end - 1])) --end;
    if (end == 0 || xml[end - 1] != '>') return false;
    --end;
    while (end > 0 && isXmlSpace(xml[end - 1])) --end;
    if (end < rootName.size() + 2) return false;
    std::size_t start = end - rootName.size();
    return xml.substr(start, rootName.size()) == rootName && xml.substr(start - 2, 2) == "</";
}

bool startsPredefinedEntity(std::string_view rest) {
    for (std::string_view entity : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
        if (rest.substr(0, entity.size()) == entity) return true;
    return false;
}

// Per byte value, a bit for each split k (1 <= k < n) at which that byte can stand: as the
// last byte of the head anchor[0, k) before a "<", or as the first of the tail anchor[k, n)
// after a ">".
struct JoinTables {
    std::uint32_t headLast[256] = {};
    std::uint32_t tailFirst[256] = {};

    explicit JoinTables(std::string_view anchor) {
        for (std::size_t k = 1; k < anchor.size(); ++k) {
            for (char c : {anchor[k - 1], static_cast<char>(anchor[k - 1] - ('a' - 'A'))})
                if (lowerAscii(c) == anchor[k - 1])
                    headLast[static_cast<unsigned char>(c)] |= 1u << k;
            for (char c : {anchor[k], static_cast<char>(anchor[k] - ('a' - 'A'))})
                if (lowerAscii(c) == anchor[k]) tailFirst[static_cast<unsigned char>(c)] |= 1u << k;
        }
    }
};

// The byte of a marker to look for first: one that sheet markup seldom holds ("h" of
// "shared", not its "s", which every shared-string cell's t="s" has), so that the search
// stops rarely to compare the rest.
std::size_t rareByteOf(std::string_view marker) {
    constexpr std::string_view kCommonInSheets = "<>/=\" 0123456789.-crstvf";
    for (std::size_t at = 0; at < marker.size(); ++at)
        if (kCommonInSheets.find(marker[at]) == std::string_view::npos) return at;
    return 0;
}

// Where `marker` first occurs in `window` at or after `from`, found by its byte at `key`.
std::size_t findMarker(std::string_view window, std::string_view marker, std::size_t key,
                       std::size_t from) {
    const char* const data = window.data();
    const std::size_t size = window.size();
    if (marker.empty()) return from <= size ? from : std::string_view::npos;
    for (std::size_t at = from + key; at + (marker.size() - key) <= size;) {
        const void* hit = std::memchr(data + at, marker[key], size - at);
        if (hit == nullptr) break;
        const std::size_t start =
            static_cast<std::size_t>(static_cast<const char*>(hit) - data) - key;
        if (start + marker.size() > size) break;
        if (std::memcmp(data + start, marker.data(), marker.size()) == 0) return start;
        at = start + key + 1;
    }
    return std::string_view::npos;
}

bool sameIgnoringCase(const char* bytes, std::string_view lower) {
    for (std::size_t i = 0; i < lower.size(); ++i)
        if (lowerAscii(bytes[i]) != lower[i]) return false;
    return true;
}

// Bytes a window holds back for the next: enough to look back over a head and ahead over a
// tail or an entity from any byte not yet visited.
// (a watched value's text, its end tag and its cell's, beyond that, turns the test off).
constexpr std::size_t kLookAhead = 512;
constexpr std::size_t kCarried = kLongestAnchor + kLookAhead + 8;
// Two "<" this far apart may hold a token past the tokenizer's cap, which fails the part.
constexpr std::uint64_t kLongestGap = std::uint64_t{16} << 20;
// The pieces a part in memory is looked at in.
constexpr std::size_t kWholeWindow = 16 << 10;
// The first window holds at least this much: the declaration and the root's start tag.
constexpr std::size_t kOpening = 8 << 10;

}  // namespace

XmlCannotMatchScan::XmlCannotMatchScan(std::string_view lowerAnchor,
                                       std::initializer_list<std::string_view> madeTextMarkers)
    : anchor_(lowerAnchor.substr(0, kLongestAnchor)),
      markers_(madeTextMarkers.begin(), madeTextMarkers.end()),
      failed_(lowerAnchor.empty()) {
    for (const std::string& marker : markers_) markerKeys_.push_back(rareByteOf(marker));
}

void XmlCannotMatchScan::watchValues(std::string valueName, std::string cellName,
                                     std::vector<std::string> needles) {
    prefixedValue_ = ":" + valueName;
    plainValueEnd_ = "</" + valueName + "></" + cellName + ">";
    for (const std::string& needle : needles) {
        // Needles are numbers without leading zeros: as digits, each is one number.
        std::uint64_t number = 0;
        for (char digit : needle.substr(0, 19)) number = number * 10 + std::uint64_t(digit - '0');
        if (needle.size() < 20) needleNumbers_.push_back(number);
        if (needle.size() < 32) needleLengths_ |= 1u << needle.size();
        if (!needle.empty()) needleLastDigits_ |= 1u << (needle.back() - '0');
    }
    valueName_ = std::move(valueName);
    cellName_ = std::move(cellName);
    needles_ = std::move(needles);
}

void XmlCannotMatchScan::endsTextAt(std::string markup) {
    textEnd_ = std::move(markup);
}

namespace {

// At `at`: "</" `name`, white space, ">"; returns just past it, or npos.
std::size_t endTagAt(std::string_view window, std::size_t at, std::string_view name) {
    if (window.substr(at, 2) != "</" || window.substr(at + 2, name.size()) != name)
        return std::string_view::npos;
    at += 2 + name.size();
    while (at < window.size() && isXmlSpace(window[at])) ++at;
    return at < window.size() && window[at] == '>' ? at + 1 : std::string_view::npos;
}

}  // namespace

// Whether a value's text reads as a needle's number: spaces around, zeros ahead ignored.
bool XmlCannotMatchScan::namesNeedle(std::string_view text) const {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return false;
    while (text.size() > 1 && text.front() == '0') text.remove_prefix(1);
    for (const std::string& needle : needles_)
        if (text == needle) return true;
    return false;
}

// Whether a value of digits alone (under 16 of them, read as `number`) names a needle.
bool XmlCannotMatchScan::isNeedleNumber(std::uint64_t number) const {
    return std::find(needleNumbers_.begin(), needleNumbers_.end(), number) != needleNumbers_.end();
}

// At `at`: the watched value's end tag and its cell's, with nothing between.
bool XmlCannotMatchScan::endsPlainValue(const char* at, const char* end) const {
    const std::size_t size = plainValueEnd_.size();
    if (static_cast<std::size_t>(end - at) < size) return false;
    if (size != 8) return std::memcmp(at, plainValueEnd_.data(), size) == 0;
    std::uint64_t here, wanted;  // "</v></c>", the usual case, in one comparison
    std::memcpy(&here, at, 8);
    std::memcpy(&wanted, plainValueEnd_.data(), 8);
    return here == wanted;
}

// The usual value, decided without a call: `<v>`, a short run of text, both end tags, and a
// last byte that no needle's text ends with (a needle's last digit, or a space after it).
// The run is all the cell reads, so it cannot name a needle. False decides nothing.
inline bool XmlCannotMatchScan::plainValueEndsNoNeedle(const char* at, const char* end) const {
    if (valueName_.size() != 1 || end - at < 3 + 16 || at[2] != '>') return false;
    const char* text = at + 3;
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const unsigned opens =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('<'))));
    if (opens == 0) return false;
    const auto length = static_cast<std::size_t>(__builtin_ctz(opens));
    if (!endsPlainValue(text + length, end)) return false;
    if (length == 0) return true;  // an empty value reads as no number
    const auto last = static_cast<unsigned char>(text[length - 1]);
    const unsigned digit = last - unsigned{'0'};
    if (last == ' ' || (digit < 10 && ((needleLastDigits_ >> digit) & 1u) != 0)) return false;
    return true;
}

// The start tag at `at` is not a watched value's, or that value is one run of text followed
// by its end tag and its cell's, all within the window.
bool XmlCannotMatchScan::valueIsOneRun(std::string_view window, std::size_t at) const {
    const char* p = window.data() + at + 1;
    const char* const end = window.data() + window.size();
    auto startsWith = [end](const char* from, std::string_view text) {
        if (static_cast<std::size_t>(end - from) < text.size()) return false;
        for (char c : text)
            if (*from++ != c) return false;
        return true;
    };
    if (!startsWith(p, valueName_)) return true;
    p += valueName_.size();
    if (p == end) return false;
    if (*p == '>' && end - p > 16) {  // the usual value: a short run of text and both end tags
        const char* text = p + 1;
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
        const unsigned opens =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('<'))));
        const auto length = static_cast<std::size_t>(__builtin_ctz(opens | 0x10000u));
        const unsigned before = (1u << length) - 1;
        const unsigned spaces =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(' '))));
        if (length > 0 && length < 16 && (spaces & before) == 0 &&
            endsPlainValue(text + length, end)) {
            const __m128i fromZero = _mm_sub_epi8(block, _mm_set1_epi8('0'));
            const unsigned digits = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_cmpeq_epi8(_mm_subs_epu8(fromZero, _mm_set1_epi8(9)), _mm_setzero_si128())));
            // A needle is digits alone, so other text never names one.
            if ((digits & before) != before) return true;
            std::size_t from = 0;
            while (length - from > 1 && text[from] == '0') ++from;
            if ((needleLengths_ & (1u << (length - from))) == 0) return true;
            std::uint64_t number = 0;
            for (; from < length; ++from) number = number * 10 + std::uint64_t(text[from] - '0');
            return !isNeedleNumber(number);
        }
    }
    if (*p != '>') {
        if (!isXmlNameEnd(*p)) return true;  // another element whose name begins alike
        while (p < end && *p != '>') ++p;
        if (p == end) return false;
        if (p[-1] == '/') return true;  // an empty value reads as no number
    }
    const char* text = ++p;
    while (p < end && *p != '<') ++p;
    if (namesNeedle(std::string_view(text, static_cast<std::size_t>(p - text)))) return false;
    if (!startsWith(p, "</") || !startsWith(p + 2, valueName_)) return false;
    p += 2 + valueName_.size();
    while (p < end && isXmlSpace(*p)) ++p;
    if (p == end || *p != '>' || !startsWith(p + 1, "</")) return false;
    if (startsWith(p + 3, cellName_) && startsWith(p + 3 + cellName_.size(), ">")) return true;
    const std::size_t cellAt = static_cast<std::size_t>(p + 1 - window.data());
    const std::string_view cell = xmlTagNameAt(window, cellAt + 2);
    return localPartOf(cell) == cellName_ &&
           endTagAt(window, cellAt, cell) != std::string_view::npos;
}

// The join test over the splits seen so far: a joined anchor needs a head of k1 bytes and a
// tail from k2 >= k1 (texts between them supply the middle), so the test holds while the
// lowest head split lies above every tail split. Bits only accumulate, so the first byte at
// which it fails is where the part stops being proven.
bool XmlCannotMatchScan::joinsHold() const {
    return heads_ == 0 || tails_ == 0 ||
           static_cast<unsigned>(__builtin_ctz(heads_)) >
               31u - static_cast<unsigned>(__builtin_clz(tails_));
}

bool XmlCannotMatchScan::failAt(std::size_t windowOffset) {
    failedAt_ = windowStart_ + windowOffset;
    return false;
}

char* XmlCannotMatchScan::room(std::size_t size) {
    if (!first_ && window_.size() > kCarried) {
        const std::size_t dropped = window_.size() - kCarried;
        windowStart_ += dropped;
        std::memmove(window_.data(), window_.data() + dropped, kCarried);
        window_.resize(kCarried);
    }
    roomAt_ = window_.size();
    window_.resize(roomAt_ + size);
    return window_.data() + roomAt_;
}

bool XmlCannotMatchScan::feedRoom(std::size_t count) {
    window_.resize(roomAt_ + count);
    roomAt_ = window_.size();
    if (failed_) return false;
    if (first_ && window_.size() < kOpening) return true;  // the root's start tag may be to come
    if (!scan(window(), first_, false)) failed_ = true;
    first_ = false;
    return !failed_;
}

bool XmlCannotMatchScan::feed(std::string_view bytes) {
    if (failed_) return false;
    std::memcpy(room(bytes.size()), bytes.data(), bytes.size());
    return feedRoom(bytes.size());
}

bool XmlCannotMatchScan::finish() {
    window_.resize(roomAt_);  // a room asked for and never filled holds nothing
    if (failed_) return false;
    failed_ = !scan(window(), first_, true);
    return !failed_;
}

namespace {

// The bytes around a "<" or ">" that may matter: those within the anchor's range of letters
// (ASCII case ignored), and the first byte of a watched value's name.
struct LookBytes {
    char low = '\x7F', high = 0;
    char value = '\0';
    bool watchValues = false;
};

#if defined(QUILLMARK_WIDE_VECTORS)

// The bytes of `bytes` within the range from `low` to `low` + `width`, ASCII case ignored.
QUILLMARK_WIDE_FUNCTION inline __m256i inRangeWide(__m256i bytes, __m256i low, __m256i width) {
    const __m256i offset = _mm256_sub_epi8(_mm256_or_si256(bytes, _mm256_set1_epi8(0x20)), low);
    return _mm256_cmpeq_epi8(_mm256_subs_epu8(offset, width), _mm256_setzero_si256());
}

// The block loop of scan, 32 bytes a step where the processor can: the same masks as its
// 16-byte loop, built alike. Returns where it stopped; `failed` when lookAt or opened said
// no in the block that starts there.
template <class LookAt, class Opened>
QUILLMARK_WIDE_FUNCTION std::size_t wideBlocks(const char* data, std::size_t at, std::size_t until,
                                               std::size_t size, const LookBytes& look,
                                               LookAt& lookAt, Opened& opened, bool& failed) {
    const __m256i open = _mm256_set1_epi8('<'), close = _mm256_set1_epi8('>'),
                  ampersand = _mm256_set1_epi8('&'), bang = _mm256_set1_epi8('!'),
                  question = _mm256_set1_epi8('?'), rangeLow = _mm256_set1_epi8(look.low),
                  rangeWidth = _mm256_set1_epi8(static_cast<char>(look.high - look.low)),
                  value = _mm256_set1_epi8(look.value);
    for (; at + 32 <= until && at + 33 <= size; at += 32) {
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
        const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at - 1));
        const __m256i after = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at + 1));
        const __m256i opens = _mm256_cmpeq_epi8(block, open);
        if (!_mm256_testz_si256(opens, opens) && !opened(at)) {
            failed = true;
            return at;
        }
        __m256i opensToLook = _mm256_or_si256(
            inRangeWide(before, rangeLow, rangeWidth),
            _mm256_or_si256(_mm256_cmpeq_epi8(after, bang), _mm256_cmpeq_epi8(after, question)));
        if (look.watchValues)
            opensToLook = _mm256_or_si256(opensToLook, _mm256_cmpeq_epi8(after, value));
        const __m256i toLook = _mm256_or_si256(
            _mm256_or_si256(_mm256_and_si256(opens, opensToLook),
                            _mm256_and_si256(_mm256_cmpeq_epi8(block, close),
                                             inRangeWide(after, rangeLow, rangeWidth))),
            _mm256_cmpeq_epi8(block, ampersand));
        for (auto mask = static_cast<unsigned>(_mm256_movemask_epi8(toLook)); mask != 0;
             mask &= mask - 1) {
            if (!lookAt(at + static_cast<std::size_t>(__builtin_ctz(mask)))) {
                failed = true;
                return at;
            }
        }
    }
    return at;
}

#endif

}  // namespace

// One window: the part's first bytes when `first`, its last when `last`. Events within
// kLookAhead of a window's end wait for the next window, which starts kCarried bytes back;
// events seen twice only set the same bits again.
bool XmlCannotMatchScan::scan(std::string_view window, bool first, bool last) {
    std::size_t from = 0;
    if (first && fragment_) {
        from = startTagEnd(window);
        if (from == std::string_view::npos) return failAt(0);
    } else if (first) {
        Root root;
        if (!findRoot(window, root)) return failAt(0);
        rootName_ = root.name;
        from = root.tagEnd;
    }
    // The first marker, anchor or prefixed value tag (values are found by their unprefixed
    // name only) ends what this window can prove; the bytes before it are still looked at.
    // A fragment's start tag holds no text of the element's: they are looked for after it.
    const std::string_view anchor = anchor_;
    const std::size_t lookFrom = fragment_ ? from : 0;
    const std::size_t anchorAt = findAnchor(window.substr(lookFrom), anchor);
    std::size_t limit = std::min(
        window.size(), anchorAt == std::string_view::npos ? anchorAt : lookFrom + anchorAt);
    for (std::size_t i = 0; i < markers_.size(); ++i)
        limit = std::min(limit, findMarker(window, markers_[i], markerKeys_[i], lookFrom));
    if (!needles_.empty()) limit = std::min(limit, window.find(prefixedValue_, lookFrom));
    std::size_t until =
        last ? window.size() : (window.size() > kLookAhead ? window.size() - kLookAhead : 0);
    // One in the held-back bytes is met again, at its own place, by the next window.
    const bool stopsAtLimit = limit < until;
    if (stopsAtLimit) until = limit;

    const JoinTables tables(anchor);
    const char* data = window.data();
    const std::size_t size = window.size();
    auto head = [&](std::size_t at) {  // a "<" at `at`, after a byte that may end a head
        std::uint32_t found = 0;
        for (std::uint32_t splits = tables.headLast[static_cast<unsigned char>(data[at - 1])];
             splits != 0; splits &= splits - 1) {
            std::size_t k = static_cast<std::size_t>(__builtin_ctz(splits));
            if (k <= at && sameIgnoringCase(data + at - k, anchor.substr(0, k))) found |= 1u << k;
        }
        if (found == 0 || (!textEnd_.empty() && window.substr(at, textEnd_.size()) == textEnd_))
            return true;
        heads_ |= found;
        return joinsHold();
    };
    auto tail = [&](std::size_t at) {  // a ">" at `at`, before a byte that may start a tail
        for (std::uint32_t splits = tables.tailFirst[static_cast<unsigned char>(data[at + 1])];
             splits != 0; splits &= splits - 1) {
            std::size_t k = static_cast<std::size_t>(__builtin_ctz(splits));
            std::size_t length = anchor.size() - k;
            if (at + 1 + length <= size && sameIgnoringCase(data + at + 1, anchor.substr(k)))
                tails_ |= 1u << k;
        }
        return joinsHold();
    };
    auto opened = [&](std::size_t at) {  // a "<" seen at `at`: no token reaches the cap
        const std::uint64_t offset = windowStart_ + at;
        if (offset <= lastOpen_) return true;
        if (offset - lastOpen_ >= kLongestGap) return false;
        lastOpen_ = offset;
        return true;
    };
    auto visit = [&](std::size_t at) {  // one byte, every check, for the window's edges
        const char c = data[at];
        if (c == '<') {
            if (at + 1 < size && (data[at + 1] == '!' || data[at + 1] == '?')) return false;
            if (!needles_.empty() && at + 1 < size && data[at + 1] == valueName_[0] &&
                !valueIsOneRun(window, at))
                return false;
            if (!opened(at)) return false;
            return at == 0 || head(at);
        }
        if (c == '>') return at + 1 >= size || tail(at);
        return c != '&' || startsPredefinedEntity(window.substr(at));
    };
    // One byte the block loop picked out (its neighbours are in the window); the checks of
    // `visit` but the token gap, which the loop keeps per block.
    auto lookAt = [&](std::size_t at) {
        const char c = data[at];
        if (c == '&') return startsPredefinedEntity(window.substr(at));
        if (c == '>') return tail(at);
        if (data[at + 1] == '!' || data[at + 1] == '?') return false;
        if (!needles_.empty() && data[at + 1] == valueName_[0] &&
            !plainValueEndsNoNeedle(data + at, data + size) && !valueIsOneRun(window, at))
            return false;
        return head(at);
    };

    // Sixteen bytes a step: masks of "<", ">" and "&", and of the bytes around them that
    // could matter (within the anchor's range of letters, "!", "?", "v"), so that the usual
    // tag costs nothing beyond the masks.
    LookBytes look;
    for (char c : anchor) {
        look.low = std::min<char>(look.low, static_cast<char>(c | 0x20));
        look.high = std::max<char>(look.high, static_cast<char>(c | 0x20));
    }
    look.watchValues = !needles_.empty();
    look.value = look.watchValues ? valueName_[0] : '\0';
    const __m128i open = _mm_set1_epi8('<'), close = _mm_set1_epi8('>'),
                  ampersand = _mm_set1_epi8('&'), bang = _mm_set1_epi8('!'),
                  question = _mm_set1_epi8('?'), caseBit = _mm_set1_epi8(0x20),
                  rangeLow = _mm_set1_epi8(look.low),
                  rangeWidth = _mm_set1_epi8(static_cast<char>(look.high - look.low)),
                  zero = _mm_setzero_si128();
    auto inRange = [&](__m128i bytes) {
        __m128i offset = _mm_sub_epi8(_mm_or_si128(bytes, caseBit), rangeLow);
        return _mm_cmpeq_epi8(_mm_subs_epu8(offset, rangeWidth), zero);
    };
    std::size_t at = from;
    if (at == 0 && at < until) {
        if (!visit(0)) return failAt(0);
        at = 1;
    }
#if defined(QUILLMARK_WIDE_VECTORS)
    if (wideVectorsAvailable()) {
        bool failed = false;
        at = wideBlocks(data, at, until, size, look, lookAt, opened, failed);
        if (failed) return failAt(at);
    }
#endif
    const bool watchValues = look.watchValues;
    const __m128i value = _mm_set1_epi8(look.value);
    for (; at + 16 <= until && at + 17 <= size; at += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at - 1));
        const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
        const __m128i opens = _mm_cmpeq_epi8(block, open);
        const __m128i closes = _mm_cmpeq_epi8(block, close);
        const __m128i ampersands = _mm_cmpeq_epi8(block, ampersand);
        const unsigned openMask = static_cast<unsigned>(_mm_movemask_epi8(opens));
        if (openMask != 0 && !opened(at)) return failAt(at);
        // Every byte that needs a look of its own, in one mask: a "<" before "!", "?" or a
        // watched value's name or after a possible head's end, a ">" before a possible tail's
        // start, and any "&". The usual block has none.
        __m128i opensToLook = _mm_or_si128(
            inRange(before),
            _mm_or_si128(_mm_cmpeq_epi8(after, bang), _mm_cmpeq_epi8(after, question)));
        if (watchValues) opensToLook = _mm_or_si128(opensToLook, _mm_cmpeq_epi8(after, value));
        const __m128i toLook = _mm_or_si128(
            _mm_or_si128(_mm_and_si128(opens, opensToLook), _mm_and_si128(closes, inRange(after))),
            ampersands);
        // A failure inside the block is placed at the block's start: the bytes before it
        // are proven, which is all a caller may rely on.
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(toLook)); mask != 0;
             mask &= mask - 1)
            if (!lookAt(at + static_cast<std::size_t>(__builtin_ctz(mask)))) return failAt(at);
    }
    for (; at < until; ++at)
        if (!visit(at)) return failAt(at);
    if (stopsAtLimit) return failAt(limit);
    if (!last) return true;
    // A fragment has no end to check, but the text after its last "<" is a token too.
    if (fragment_) return windowStart_ + size - lastOpen_ < kLongestGap || failAt(size);
    return endsWithRootEnd(window, rootName_) || failAt(window.size());
}

// A small part is looked at in one window; a larger one in pieces, so that whichever check
// fails first (often a match near the top) ends the look early. The pieces are views of the
// part, overlapping as fed pieces do, so nothing is copied.
bool XmlCannotMatchScan::wholePart(std::string_view xml) {
    if (failed_ || !first_ || !window_.empty()) return false;
    if (xml.size() <= kWholeWindow) {
        first_ = false;
        failed_ = !scan(xml, true, true);
        return !failed_;
    }
    std::size_t start = 0, end = 0;
    for (std::size_t at = 0; at < xml.size(); at += kWholeWindow) {
        if (!first_ && end - start > kCarried) start = end - kCarried;
        end = std::min(xml.size(), at + kWholeWindow);
        windowStart_ = start;
        if (!scan(xml.substr(start, end - start), first_, false)) {
            failed_ = true;
            return false;
        }
        first_ = false;
    }
    windowStart_ = start;
    failed_ = !scan(xml.substr(start, end - start), false, true);
    return !failed_;
}

bool XmlCannotMatchScan::fragment(std::string_view xml) {
    if (failed_ || !first_ || !window_.empty()) return false;
    fragment_ = true;
    return wholePart(xml);
}

bool xmlPartCannotMatch(std::string_view xml, std::string_view lowerAnchor,
                        std::initializer_list<std::string_view> madeTextMarkers) {
    return XmlCannotMatchScan(lowerAnchor, madeTextMarkers).wholePart(xml);
}

bool xmlFragmentCannotMatch(std::string_view xml, std::string_view lowerAnchor,
                            std::initializer_list<std::string_view> madeTextMarkers) {
    return XmlCannotMatchScan(lowerAnchor, madeTextMarkers).fragment(xml);
}

bool anchorIsInWordsOrAlphabet(std::string_view lowerAnchor,
                               std::initializer_list<std::string_view> words,
                               std::string_view alphabet) {
    for (std::string_view word : words)
        if (word.find(lowerAnchor) != std::string_view::npos) return true;
    for (char c : lowerAnchor)
        if (alphabet.find(c) == std::string_view::npos) return false;
    return true;
}

}  // namespace quillmark::engine
