// Keyword matching. Cells are mostly short ASCII text, so that case gets a byte loop with no
// decoding; anything else is decoded, case-folded and matched as code points.
#include "engine/core/matcher.h"

#include <QChar>

#include "engine/core/ascii.h"
#include "engine/core/utf8.h"

namespace quillmark::engine {
namespace {

char32_t fold(char32_t codePoint) {
    return QChar::toCaseFolded(codePoint);
}

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Finds `segment` in `text` at or after `from`; returns the index past the match or npos.
std::size_t findSegment(const std::u32string& text, std::size_t from,
                        const std::vector<char32_t>& segment, char32_t anyOne) {
    if (segment.size() > text.size()) return std::u32string::npos;
    for (std::size_t start = from; start + segment.size() <= text.size(); ++start) {
        std::size_t i = 0;
        while (i < segment.size() && (segment[i] == anyOne || segment[i] == text[start + i])) ++i;
        if (i == segment.size()) return start + segment.size();
    }
    return std::u32string::npos;
}

}  // namespace

Matcher::Matcher(std::string_view keywordUtf8) : keyword_(keywordUtf8) {
    if (keywordUtf8.empty()) return;
    std::u32string codePoints = decodeUtf8(keywordUtf8);
    Segment current;
    bool sawStar = false;
    for (std::size_t i = 0; i < codePoints.size(); ++i) {
        char32_t c = codePoints[i];
        if (c == U'~' && i + 1 < codePoints.size()) {
            current.push_back(fold(codePoints[++i]));
        } else if (c == U'*') {
            sawStar = true;
            if (!current.empty()) segments_.push_back(std::move(current));
            current.clear();
        } else if (c == U'?') {
            current.push_back(kAnyOne);
        } else {
            current.push_back(fold(c));
        }
    }
    if (!current.empty()) segments_.push_back(std::move(current));
    if (segments_.empty() && sawStar) wildcardOnly_ = true;

    if (segments_.size() == 1) {
        asciiLiteral_ = true;
        for (char32_t c : segments_[0]) {
            // 'k' and 's' also match the Kelvin sign and the long s, so they leave the fast path
            // only for text that is not ASCII; here the pattern itself must be plain ASCII.
            if (c == kAnyOne || c >= 0x80) asciiLiteral_ = false;
            asciiLower_.push_back(static_cast<char>(c));
        }
    }
}

bool Matcher::matches(std::string_view text) const {
    if (text.empty()) return false;
    if (wildcardOnly_) return true;
    if (segments_.empty()) return false;
    if (asciiLiteral_ && isAscii(text)) return matchesAscii(text);
    thread_local std::u32string folded;
    folded.clear();
    appendDecodedUtf8(text, folded);
    for (char32_t& c : folded) c = fold(c);
    return matchesFolded(folded);
}

bool Matcher::matchesAscii(std::string_view text) const {
    const std::size_t n = asciiLower_.size();
    if (n > text.size()) return false;
    const char first = asciiLower_[0];
    for (std::size_t start = 0; start + n <= text.size(); ++start) {
        if (lowerAscii(text[start]) != first) continue;
        std::size_t i = 1;
        while (i < n && lowerAscii(text[start + i]) == asciiLower_[i]) ++i;
        if (i == n) return true;
    }
    return false;
}

bool Matcher::matchesFolded(const std::u32string& text) const {
    std::size_t position = 0;
    for (const Segment& segment : segments_) {
        position = findSegment(text, position, segment, kAnyOne);
        if (position == std::u32string::npos) return false;
    }
    return true;
}

}  // namespace quillmark::engine
