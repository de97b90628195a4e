// The raw test behind skipping a sheet part. Its one pass looks at every "<", ">" and "&"
// sixteen bytes at a time: cheap beside tokenizing, which decides on every byte.
#include "engine/xml/xml_cannot_match.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/core/ascii.h"
#include "engine/core/raw_prefilter.h"
#include "engine/xml/xml_pull_tokenizer.h"

namespace quillmark::engine {
namespace {

// Any run of an anchor is an anchor too: the join masks below have a bit per split.
constexpr std::size_t kLongestAnchor = 32;

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameEnd(char c) {
    return isXmlSpace(c) || c == '/' || c == '>';
}

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
    if (at + 1 >= xml.size() || xml[at] != '<' || isNameEnd(xml[at + 1]) || xml[at + 1] == '!' ||
        xml[at + 1] == '?')
        return false;
    std::size_t nameEnd = at + 1;
    while (nameEnd < xml.size() && !isNameEnd(xml[nameEnd])) ++nameEnd;
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
// The first window holds at least this much: the declaration and the root's start tag.
constexpr std::size_t kOpening = 64 << 10;

}  // namespace

XmlCannotMatchScan::XmlCannotMatchScan(std::string_view lowerAnchor,
                                       std::initializer_list<std::string_view> madeTextMarkers)
    : anchor_(lowerAnchor.substr(0, kLongestAnchor)),
      markers_(madeTextMarkers.begin(), madeTextMarkers.end()),
      failed_(lowerAnchor.empty()) {}

void XmlCannotMatchScan::watchValues(std::string valueName, std::string cellName,
                                     std::vector<std::string> needles) {
    valueName_ = std::move(valueName);
    cellName_ = std::move(cellName);
    needles_ = std::move(needles);
}

namespace {

// The qualified name of the tag whose "<" (or "</") ends just before `from`, and where it ends.
std::string_view tagName(std::string_view window, std::size_t from) {
    std::size_t end = from;
    while (end < window.size() && !isNameEnd(window[end])) ++end;
    return window.substr(from, end - from);
}

std::string_view localPart(std::string_view name) {
    std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// At `at`: "</" `name`, white space, ">"; returns just past it, or npos.
std::size_t endTagAt(std::string_view window, std::size_t at, std::string_view name) {
    if (window.substr(at, 2) != "</" || window.substr(at + 2, name.size()) != name)
        return std::string_view::npos;
    at += 2 + name.size();
    while (at < window.size() && isXmlSpace(window[at])) ++at;
    return at < window.size() && window[at] == '>' ? at + 1 : std::string_view::npos;
}

}  // namespace

// The start tag at `at` is not a watched value's, or that value is one run of text followed
// by its end tag and its cell's, all within the window.
bool XmlCannotMatchScan::valueIsOneRun(std::string_view window, std::size_t at) const {
    const std::string_view name = tagName(window, at + 1);
    if (localPart(name) != valueName_) return true;
    std::size_t close = window.find('>', at + 1 + name.size());
    if (close == std::string_view::npos) return false;
    if (window[close - 1] == '/') return true;  // an empty value reads as no number
    std::size_t next = window.find('<', close + 1);
    if (next == std::string_view::npos) return false;
    std::size_t afterValue = endTagAt(window, next, name);
    if (afterValue == std::string_view::npos) return false;
    const std::string_view cell = tagName(window, afterValue + 2);
    return localPart(cell) == cellName_ &&
           endTagAt(window, afterValue, cell) != std::string_view::npos;
}

bool XmlCannotMatchScan::feed(std::string_view bytes) {
    if (failed_) return false;
    if (!first_ && window_.size() > kCarried) {
        windowStart_ += window_.size() - kCarried;
        window_.erase(0, window_.size() - kCarried);
    }
    window_.append(bytes);
    if (first_ && window_.size() < kOpening) return true;  // the root's start tag may be to come
    if (!scan(window_, first_, false)) failed_ = true;
    first_ = false;
    return !failed_;
}

bool XmlCannotMatchScan::finish() {
    if (failed_) return false;
    failed_ = !scan(window_, first_, true);
    return !failed_;
}

// One window: the part's first bytes when `first`, its last when `last`. Events within
// kLookAhead of a window's end wait for the next window, which starts kCarried bytes back;
// events seen twice only set the same bits again.
bool XmlCannotMatchScan::scan(std::string_view window, bool first, bool last) {
    std::size_t from = 0;
    if (first) {
        Root root;
        if (!findRoot(window, root)) return false;
        rootName_ = root.name;
        from = root.tagEnd;
    }
    for (const std::string& marker : markers_)
        if (window.find(marker) != std::string_view::npos) return false;
    const std::string_view anchor = anchor_;
    if (containsAnchor(window, anchor)) return false;
    for (const std::string& needle : needles_)
        if (window.find(needle) != std::string_view::npos) return false;

    const JoinTables tables(anchor);
    const char* data = window.data();
    const std::size_t size = window.size();
    const std::size_t until = last ? size : (size > kLookAhead ? size - kLookAhead : 0);
    auto visit = [&](std::size_t at) {
        const char c = data[at];
        if (c == '<') {
            if (at + 1 < size && (data[at + 1] == '!' || data[at + 1] == '?')) return false;
            if (!valueName_.empty() && at + 1 < size && data[at + 1] != '/' &&
                !valueIsOneRun(window, at))
                return false;
            const std::uint64_t offset = windowStart_ + at;
            if (offset > lastOpen_) {
                if (offset - lastOpen_ >= kLongestGap) return false;
                lastOpen_ = offset;
            }
            if (at == 0) return true;
            for (std::uint32_t splits = tables.headLast[static_cast<unsigned char>(data[at - 1])];
                 splits != 0; splits &= splits - 1) {
                std::size_t k = static_cast<std::size_t>(__builtin_ctz(splits));
                if (k <= at && sameIgnoringCase(data + at - k, anchor.substr(0, k)))
                    heads_ |= 1u << k;
            }
            return true;
        }
        if (c == '>') {
            if (at + 1 == size) return true;
            for (std::uint32_t splits = tables.tailFirst[static_cast<unsigned char>(data[at + 1])];
                 splits != 0; splits &= splits - 1) {
                std::size_t k = static_cast<std::size_t>(__builtin_ctz(splits));
                std::size_t length = anchor.size() - k;
                if (at + 1 + length <= size && sameIgnoringCase(data + at + 1, anchor.substr(k)))
                    tails_ |= 1u << k;
            }
            return true;
        }
        return startsPredefinedEntity(window.substr(at));
    };
    const __m128i open = _mm_set1_epi8('<'), close = _mm_set1_epi8('>'),
                  ampersand = _mm_set1_epi8('&');
    std::size_t at = from;
    for (; at + 16 <= until; at += 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        __m128i hits =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, open), _mm_cmpeq_epi8(block, close)),
                         _mm_cmpeq_epi8(block, ampersand));
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0;
             mask &= mask - 1)
            if (!visit(at + static_cast<std::size_t>(__builtin_ctz(mask)))) return false;
    }
    for (; at < until; ++at)
        if ((data[at] == '<' || data[at] == '>' || data[at] == '&') && !visit(at)) return false;
    if (!last) return true;
    if (!endsWithRootEnd(window, rootName_)) return false;
    // A joined anchor needs a head of k1 bytes and a tail from k2 >= k1 (texts between them
    // supply the middle): the lowest head split must lie above every tail split.
    return heads_ == 0 || tails_ == 0 ||
           static_cast<unsigned>(__builtin_ctz(heads_)) >
               31u - static_cast<unsigned>(__builtin_clz(tails_));
}

bool XmlCannotMatchScan::wholePart(std::string_view xml) {
    if (failed_ || !first_) return false;
    first_ = false;
    failed_ = !scan(xml, true, true);
    return !failed_;
}

bool xmlPartCannotMatch(std::string_view xml, std::string_view lowerAnchor,
                        std::initializer_list<std::string_view> madeTextMarkers) {
    return XmlCannotMatchScan(lowerAnchor, madeTextMarkers).wholePart(xml);
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
