// Streams the shared string table through the matcher, one reused buffer for every entry.
#include "engine/biff/biff_shared_strings.h"

#include "engine/biff/biff_text.h"

namespace quillmark::engine::biff {

void matchSharedStrings(Bytes stream, std::size_t sstOffset, const Matcher& matcher,
                        StringTableMatches& matches) {
    matches.start(matcher.keyword());
    RecordCursor cursor(stream, sstOffset);
    auto sst = cursor.next();
    if (!sst) return;
    ContinuedReader reader(stream, *sst);
    std::uint32_t totalReferences, uniqueCount;
    if (!reader.readU32(totalReferences) || !reader.readU32(uniqueCount)) return;
    std::string text;
    for (;;) {
        text.clear();
        bool complete = reader.readRichExtendedString(text);
        // An entry cut short by the end of the table still keeps its place.
        if (complete || !text.empty()) matches.add(matcher.matches(text), text);
        if (!complete) return;
    }
}

}  // namespace quillmark::engine::biff
