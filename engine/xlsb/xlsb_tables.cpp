// Streams styles.bin and sharedStrings.bin, keeping only the answers the searches need.
#include "engine/xlsb/xlsb_tables.h"

#include <string>

#include "engine/container/zip_archive.h"
#include "engine/core/matcher.h"
#include "engine/xlsb/xlsb_records.h"

namespace quillmark::engine::xlsb {

Status readDateStyles(const ZipArchive& zip, std::string_view part, biff::DateStyles& styles) {
    auto stream = zip.openPart(part);
    if (!stream) return stream.failure();
    RecordStream records(stream.take());
    Record record;
    bool inCellFormats = false;  // BrtXF also lists cell styles; only cell formats count
    std::string code;
    for (;;) {
        auto more = records.next(record);
        if (!more) return more.failure();
        if (!more.value()) return Done{};
        FieldReader fields(record.data);
        std::uint16_t formatIndex = 0;
        switch (record.type) {
            case kFmt:  // ifmt, stFmtCode
                if (fields.u16(formatIndex) && fields.wideString(code))
                    styles.addFormat(formatIndex, code);
                break;
            case kBeginCellXfs:
                inCellFormats = true;
                break;
            case kEndCellXfs:
                inCellFormats = false;
                break;
            case kXf:  // ixfeParent, iFmt, ...
                if (inCellFormats)
                    styles.addCellFormat(fields.skip(2) && fields.u16(formatIndex) ? formatIndex
                                                                                   : 0);
                break;
            default:
                break;
        }
    }
}

Status matchSharedStrings(const ZipArchive& zip, std::string_view part, const Matcher& matcher,
                          StringTableMatches& matches) {
    matches.start(matcher.keyword());
    if (part.empty()) return Done{};
    auto stream = zip.openPart(part);
    if (!stream) {
        matches.invalidate();
        return stream.failure();
    }
    RecordStream records(stream.take());
    Record record;
    std::string text;
    for (;;) {
        auto more = records.next(record);
        if (!more) {
            matches.invalidate();
            return more.failure();
        }
        if (!more.value()) return Done{};
        if (record.type != kSstItem) continue;
        // RichStr: flags, then the text; formatting runs and phonetic text follow unread.
        FieldReader fields(record.data);
        bool readable = fields.skip(1) && fields.wideString(text);
        matches.add(readable && matcher.matches(text), text);
    }
}

}  // namespace quillmark::engine::xlsb
