// Streams the shared string table through the matcher, one reused buffer for every entry.
#include "engine/biff/biff_shared_strings.h"

#include "engine/biff/biff_text.h"

namespace quillmark::engine::biff {
namespace {

void readEntries(ContinuedReader reader, const Matcher& matcher, StringTableMatches& matches) {
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

}  // namespace

Status matchSharedStrings(const FileData& stream, RecordDecrypter* decrypter,
                          std::uint64_t sstOffset, const Matcher& matcher,
                          StringTableMatches& matches) {
    matches.start(matcher.keyword());
    RecordCursor cursor(stream, sstOffset, decrypter);
    auto sst = cursor.next();
    if (sst) readEntries(ContinuedReader(cursor, *sst), matcher, matches);
    // A table read only in part must not answer a later search.
    if (cursor.failure()) matches.invalidate();
    return readStatus(cursor);
}

}  // namespace quillmark::engine::biff
