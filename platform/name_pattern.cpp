// Wildcard matching of folded names. Names are short, so one pass with a single backtrack
// point for the last "*" is enough; it never takes more than length x length steps.
#include "platform/name_pattern.h"

#include <QChar>

#include "engine/core/utf8.h"

namespace quillmark::platform {

std::u32string foldedName(std::string_view name) {
    std::u32string folded;
    folded.reserve(name.size());
    engine::appendDecodedUtf8(name, folded);
    for (char32_t& codePoint : folded) {
        if (codePoint >= U'A' && codePoint <= U'Z')
            codePoint += U'a' - U'A';
        else if (codePoint >= 0x80)
            codePoint = QChar::toCaseFolded(codePoint);
    }
    return folded;
}

bool matchesPattern(std::u32string_view pattern, std::u32string_view name) {
    constexpr std::size_t kNoStar = std::u32string_view::npos;
    std::size_t patternAt = 0;
    std::size_t nameAt = 0;
    std::size_t lastStar = kNoStar;
    std::size_t nameAtLastStar = 0;
    while (nameAt < name.size()) {
        if (patternAt < pattern.size() && pattern[patternAt] == U'*') {
            lastStar = patternAt++;
            nameAtLastStar = nameAt;
        } else if (patternAt < pattern.size() &&
                   (pattern[patternAt] == U'?' || pattern[patternAt] == name[nameAt])) {
            ++patternAt;
            ++nameAt;
        } else if (lastStar != kNoStar) {
            // Let the last "*" swallow one more character and try again from there.
            patternAt = lastStar + 1;
            nameAt = ++nameAtLastStar;
        } else {
            return false;
        }
    }
    while (patternAt < pattern.size() && pattern[patternAt] == U'*') ++patternAt;
    return patternAt == pattern.size();
}

}  // namespace quillmark::platform
