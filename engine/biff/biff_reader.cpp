// Opens BIFF streams: reads the globals (decrypting first where the default password
// serves), lists the sheets, and searches one sheet substream on demand.
#include "engine/biff/biff_reader.h"

#include "engine/biff/biff_decryption.h"
#include "engine/biff/biff_shared_strings.h"
#include "engine/biff/biff_sheet_search.h"
#include "engine/core/byte_order.h"
#include "engine/core/matcher.h"

namespace quillmark::engine::biff {
namespace {

constexpr std::size_t kFilePassProbeRecords = 64;

SheetKind kindOfSubstream(std::uint16_t substreamType) {
    if (substreamType == kChartSubstream) return SheetKind::Chart;
    if (substreamType == kMacroSheetSubstream) return SheetKind::MacroSheet;
    return SheetKind::Worksheet;
}

std::string withoutExtension(std::string_view fileName) {
    std::size_t dot = fileName.find_last_of('.');
    if (dot != std::string_view::npos && dot > 0) fileName = fileName.substr(0, dot);
    return fileName.empty() ? std::string("Sheet1") : std::string(fileName);
}

// FILEPASS comes right after the first BOF when a file is encrypted.
Outcome<bool> hasFilePass(const FileData& stream) {
    RecordCursor cursor(stream, 0);
    for (std::size_t i = 0; i < kFilePassProbeRecords; ++i) {
        auto record = cursor.next();
        if (!record || record->type == record::Eof) break;
        if (record->type == record::FilePass) return true;
    }
    if (Status read = readStatus(cursor); !read) return read.failure();
    return false;
}

// What the first record of a stream says.
struct FirstBof {
    Version version;
    std::uint16_t type;
    std::uint16_t substream;
};

ReaderOutcome singleSheet(std::shared_ptr<const FileData> stream, const FirstBof& bof,
                          std::string name) {
    auto encrypted = hasFilePass(*stream);
    if (!encrypted) return encrypted.failure();
    if (encrypted.value()) return fail(FailureKind::Encrypted, "worksheet is password-protected");
    SheetEntry entry;
    entry.info.name = std::move(name);
    entry.info.kind = kindOfSubstream(bof.substream);
    std::vector<SheetEntry> sheets{std::move(entry)};
    return std::unique_ptr<WorkbookReader>(std::make_unique<BiffWorkbook>(
        std::move(stream), nullptr, bof.version, nullptr, std::move(sheets)));
}

// The BUNDLESHEET records of BIFF4 workbook globals, up to their EOF.
std::vector<SheetEntry> bundleSheets(RecordCursor& cursor) {
    auto decoder = std::make_unique<CodePageDecoder>(1252);
    std::vector<SheetEntry> sheets;
    while (auto record = cursor.next()) {
        if (record->type == record::Eof) break;
        if (record->type == record::CodePage && record->data.size() >= 2)
            decoder = std::make_unique<CodePageDecoder>(readU16(record->data.data()));
        if (record->type != record::BundleSheet || record->data.size() < 7) continue;
        SheetEntry entry;
        entry.bofOffset = readU32(record->data.data());
        entry.info.hidden = (record->data[4] & 0x03) != 0;
        std::size_t offset = 6;
        readByteString(record->data, offset, 1, *decoder, entry.info.name);
        sheets.push_back(std::move(entry));
    }
    return sheets;
}

// Whether a BOF record lies at `offset`.
Outcome<bool> bofAt(const FileData& stream, std::uint64_t offset) {
    RecordCursor cursor(stream, offset);
    auto record = cursor.next();
    if (Status read = readStatus(cursor); !read) return read.failure();
    return record && isBof(record->type);
}

// BIFF4 workbooks list their sheets in BUNDLESHEET records (stream position, options, byte
// string name); the sheet substreams follow the globals in the same order.
ReaderOutcome biff4Workbook(std::shared_ptr<const FileData> stream) {
    auto encrypted = hasFilePass(*stream);
    if (!encrypted) return encrypted.failure();
    if (encrypted.value()) return fail(FailureKind::Encrypted, "workbook is password-protected");
    RecordCursor cursor(*stream, 0);
    cursor.next();  // the globals' BOF
    std::vector<SheetEntry> sheets = bundleSheets(cursor);
    std::size_t next = 0;
    int depth = 0;
    while (auto record = cursor.next()) {
        if (isBof(record->type) && depth++ == 0 && next < sheets.size()) {
            SheetEntry& sheet = sheets[next++];
            sheet.info.kind = kindOfSubstream(readU16At(record->data, 2));
            std::uint64_t here = record->offset;
            auto atRecorded = bofAt(*stream, sheet.bofOffset);
            if (!atRecorded) return atRecorded.failure();
            if (!atRecorded.value()) sheet.bofOffset = here;
        } else if (record->type == record::Eof && depth > 0) {
            --depth;
        }
    }
    if (Status read = readStatus(cursor); !read) return read.failure();
    if (sheets.empty()) return fail(FailureKind::Corrupt, "BIFF4 workbook lists no sheets");
    return std::unique_ptr<WorkbookReader>(std::make_unique<BiffWorkbook>(
        std::move(stream), nullptr, Version::Biff4, nullptr, std::move(sheets)));
}

// The stream's first record, when it is a BOF.
Outcome<std::optional<FirstBof>> firstBof(const FileData& stream) {
    RecordCursor cursor(stream, 0);
    auto bof = cursor.next();
    if (Status read = readStatus(cursor); !read) return read.failure();
    if (!bof || !isBof(bof->type)) return std::optional<FirstBof>();
    return std::optional<FirstBof>(
        FirstBof{versionOfBof(*bof), bof->type, readU16At(bof->data, 2)});
}

}  // namespace

BiffWorkbook::BiffWorkbook(std::shared_ptr<const FileData> stream,
                           std::unique_ptr<RecordDecrypter> decrypter, Version version,
                           std::unique_ptr<Globals> globals, std::vector<SheetEntry> sheets)
    : stream_(std::move(stream)),
      decrypter_(std::move(decrypter)),
      version_(version),
      globals_(std::move(globals)) {
    for (SheetEntry& sheet : sheets) {
        if (!sheet.listed) continue;
        sheetInfos_.push_back(sheet.info);
        entries_.push_back(std::move(sheet));
    }
}

Status BiffWorkbook::searchSheet(std::size_t sheetIndex, const Matcher& matcher, HitSink& sink) {
    const SheetEntry& sheet = entries_[sheetIndex];
    if (globals_ && globals_->sstOffset && !sharedStrings_.isFor(matcher.keyword())) {
        if (Status matched = matchSharedStrings(*stream_, decrypter_.get(), *globals_->sstOffset,
                                                matcher, sharedStrings_);
            !matched)
            return matched;
    }
    SheetSearchInput input;
    input.stream = stream_.get();
    input.decrypter = decrypter_.get();
    input.bofOffset = sheet.bofOffset;
    input.version = version_;
    input.globals = globals_.get();
    input.sharedStrings = &sharedStrings_;
    return biff::searchSheet(input, matcher, sink);
}

ReaderOutcome openWorkbookStream(std::shared_ptr<const FileData> stream) {
    auto bof = firstBof(*stream);
    if (!bof) return bof.failure();
    if (!bof.value())
        return fail(FailureKind::Corrupt, "workbook stream does not start with a BOF record");
    if (bof.value()->type != record::Bof || bof.value()->substream != kGlobalsSubstream)
        return singleSheet(std::move(stream), *bof.value(), "Sheet1");  // no workbook globals

    auto globals = readGlobals(*stream, nullptr);
    if (!globals) return globals.failure();
    std::unique_ptr<RecordDecrypter> decrypter;
    if (globals.value().filePass) {
        auto made = decrypterFor(*globals.value().filePass, globals.value().version);
        if (!made) return made.failure();
        decrypter = made.take();
        globals = readGlobals(*stream, decrypter.get());
        if (!globals) return globals.failure();
    }
    auto owned = std::make_unique<Globals>(globals.take());
    if (Status refined = refineSheetKinds(*stream, decrypter.get(), owned->sheets); !refined)
        return refined.failure();
    std::vector<SheetEntry> sheets = owned->sheets;
    Version version = owned->version;
    return std::unique_ptr<WorkbookReader>(std::make_unique<BiffWorkbook>(
        std::move(stream), std::move(decrypter), version, std::move(owned), std::move(sheets)));
}

ReaderOutcome openBareStream(std::shared_ptr<const FileData> data, std::string_view fileName) {
    // The file is the stream, read by ranges like a compound file's.
    auto bof = firstBof(*data);
    if (!bof) return bof.failure();
    if (!bof.value())
        return fail(FailureKind::NotAWorkbook, "file does not start with a BIFF BOF record");
    const FirstBof& first = *bof.value();
    if (first.type == record::Bof && first.substream == kGlobalsSubstream)
        return openWorkbookStream(std::move(data));
    if (first.version == Version::Biff4 && first.substream == kWorkspaceSubstream)
        return biff4Workbook(std::move(data));
    std::string name = first.version == Version::Biff2 ? withoutExtension(fileName) : "Sheet1";
    return singleSheet(std::move(data), first, std::move(name));
}

}  // namespace quillmark::engine::biff
