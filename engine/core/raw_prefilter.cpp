// The anchor of a keyword and its search over raw bytes. The search looks for the anchor's
// first letter in both cases sixteen bytes at a time (thirty-two where the processor can),
// then compares the rest.
#include "engine/core/raw_prefilter.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <QChar>

#include "engine/core/ascii.h"
#include "engine/core/wide_vectors.h"

namespace quillmark::engine {
namespace {

bool usableInAnchor(char c) {
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F)
        return false;
    if (std::string_view("&<>\"'=").find(c) != std::string_view::npos) return false;
    return asciiFoldTargetsOfNonAscii().find(lowerAscii(c)) == std::string::npos;
}

bool restMatches(const char* at, std::string_view lowerAnchor) {
    for (std::size_t i = 1; i < lowerAnchor.size(); ++i)
        if (lowerAscii(at[i]) != lowerAnchor[i]) return false;
    return true;
}

#if defined(QUILLMARK_WIDE_VECTORS)

// The first-letter search 32 bytes a step, for starts from `at` while a whole step lies at or
// before `last`: the first match, or npos with `at` where the narrower search goes on.
QUILLMARK_WIDE_FUNCTION std::size_t wideFindAnchor(const char* data, std::size_t& at,
                                                   std::size_t last, char lower, char upper,
                                                   std::string_view lowerAnchor) {
    const __m256i lowerVector = _mm256_set1_epi8(lower), upperVector = _mm256_set1_epi8(upper);
    for (; at + 32 <= last + 1; at += 32) {
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
        auto mask = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_or_si256(
            _mm256_cmpeq_epi8(block, lowerVector), _mm256_cmpeq_epi8(block, upperVector))));
        for (; mask != 0; mask &= mask - 1) {
            const std::size_t start = at + static_cast<std::size_t>(__builtin_ctz(mask));
            if (restMatches(data + start, lowerAnchor)) return start;
        }
    }
    return std::string_view::npos;
}

#endif

}  // namespace

const std::string& asciiFoldTargetsOfNonAscii() {
    static const std::string targets = [] {
        bool seen[128] = {};
        // The Basic Multilingual Plane only: the letters beyond it fold within their own
        // scripts, and asking about all 1.1 million code points cost about 10 ms a process.
        for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
            char32_t folded = QChar::toCaseFolded(c);
            if (folded < 0x80) seen[folded] = true;
        }
        std::string found;
        for (int c = 0; c < 128; ++c)
            if (seen[c]) found.push_back(static_cast<char>(c));
        return found;
    }();
    return targets;
}

std::string rawAnchorOf(std::string_view keyword, std::size_t minimumLength) {
    std::string best, current;
    auto endRun = [&] {
        if (current.size() > best.size()) best = current;
        current.clear();
    };
    for (std::size_t i = 0; i < keyword.size(); ++i) {
        char c = keyword[i];
        if (c == '~' && i + 1 < keyword.size()) {
            c = keyword[++i];
        } else if (c == '*' || c == '?') {
            endRun();
            continue;
        }
        if (usableInAnchor(c))
            current.push_back(lowerAscii(c));
        else
            endRun();
    }
    endRun();
    return best.size() >= minimumLength ? best : std::string();
}

std::size_t findAnchor(std::string_view bytes, std::string_view lowerAnchor) {
    constexpr std::size_t kNone = std::string_view::npos;
    const std::size_t n = lowerAnchor.size();
    if (n == 0 || bytes.size() < n) return kNone;
    const char lower = lowerAnchor[0];
    const char upper = isAsciiLetter(lower) ? static_cast<char>(lower - ('a' - 'A')) : lower;
    const char* data = bytes.data();
    const std::size_t last = bytes.size() - n;  // the last start a match may have
    std::size_t at = 0;
#if defined(QUILLMARK_WIDE_VECTORS)
    if (wideVectorsAvailable()) {
        const std::size_t found = wideFindAnchor(data, at, last, lower, upper, lowerAnchor);
        if (found != kNone) return found;
    }
#endif
    const __m128i lowerVector = _mm_set1_epi8(lower), upperVector = _mm_set1_epi8(upper);
    while (at + 16 <= last + 1) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(block, lowerVector), _mm_cmpeq_epi8(block, upperVector))));
        while (mask != 0) {
            std::size_t start = at + static_cast<std::size_t>(__builtin_ctz(mask));
            if (restMatches(data + start, lowerAnchor)) return start;
            mask &= mask - 1;
        }
        at += 16;
    }
    for (; at <= last; ++at)
        if (lowerAscii(data[at]) == lower && restMatches(data + at, lowerAnchor)) return at;
    return kNone;
}

bool containsAnchor(std::string_view bytes, std::string_view lowerAnchor) {
    return findAnchor(bytes, lowerAnchor) != std::string_view::npos;
}

}  // namespace quillmark::engine
