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
std::optional<Record> findFilePass(Bytes stream) {
    RecordCursor cursor(stream, 0);
    for (std::size_t i = 0; i < kFilePassProbeRecords; ++i) {
        auto record = cursor.next();
        if (!record || record->type == record::Eof) break;
        if (record->type == record::FilePass) return record;
    }
    return std::nullopt;
}

ReaderOutcome singleSheet(std::shared_ptr<const FileData> data, std::vector<std::uint8_t> owned,
                          Bytes stream, const Record& bof, std::string name) {
    Version version = versionOfBof(bof);
    if (findFilePass(stream))
        return fail(FailureKind::Encrypted, "worksheet is password-protected");
    SheetEntry entry;
    entry.info.name = std::move(name);
    entry.info.kind = kindOfSubstream(readU16At(bof.data, 2));
    std::vector<SheetEntry> sheets{std::move(entry)};
    return std::unique_ptr<WorkbookReader>(std::make_unique<BiffWorkbook>(
        std::move(data), std::move(owned), stream, version, nullptr, std::move(sheets)));
}

// BIFF4 workbooks list their sheets in BUNDLESHEET records (stream position, options, byte
// string name); the sheet substreams follow the globals in the same order.
ReaderOutcome biff4Workbook(std::shared_ptr<const FileData> data, Bytes stream) {
    if (findFilePass(stream)) return fail(FailureKind::Encrypted, "workbook is password-protected");
    RecordCursor cursor(stream, 0);
    cursor.next();  // the globals' BOF
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
    std::size_t next = 0;
    int depth = 0;
    while (auto record = cursor.next()) {
        if (isBof(record->type) && depth++ == 0 && next < sheets.size()) {
            SheetEntry& sheet = sheets[next++];
            RecordCursor recorded(stream, sheet.bofOffset);
            auto atRecorded = recorded.next();
            if (!atRecorded || !isBof(atRecorded->type)) sheet.bofOffset = record->offset;
            sheet.info.kind = kindOfSubstream(readU16At(record->data, 2));
        } else if (record->type == record::Eof && depth > 0) {
            --depth;
        }
    }
    if (sheets.empty()) return fail(FailureKind::Corrupt, "BIFF4 workbook lists no sheets");
    return std::unique_ptr<WorkbookReader>(
        std::make_unique<BiffWorkbook>(std::move(data), std::vector<std::uint8_t>{}, stream,
                                       Version::Biff4, nullptr, std::move(sheets)));
}

}  // namespace

BiffWorkbook::BiffWorkbook(std::shared_ptr<const FileData> data,
                           std::vector<std::uint8_t> ownedStream, Bytes stream, Version version,
                           std::unique_ptr<Globals> globals, std::vector<SheetEntry> sheets)
    : data_(std::move(data)),
      ownedStream_(std::move(ownedStream)),
      stream_(ownedStream_.empty() ? stream : Bytes(ownedStream_)),
      version_(version),
      globals_(std::move(globals)) {
    for (SheetEntry& sheet : sheets) {
        if (!sheet.listed) continue;
        sheetInfos_.push_back(sheet.info);
        entries_.push_back(std::move(sheet));
    }
}

Outcome<std::optional<CellPosition>> BiffWorkbook::findFirst(std::size_t sheetIndex,
                                                             const Matcher& matcher) {
    if (sheetIndex >= entries_.size())
        return fail(FailureKind::NoSuchSheet, "no sheet at that position");
    const SheetEntry& sheet = entries_[sheetIndex];
    if (matcher.matchesNothing() || !isGridSheet(sheet.info.kind))
        return std::optional<CellPosition>{};
    if (globals_ && globals_->sstOffset && !sharedStrings_.isFor(matcher.keyword()))
        matchSharedStrings(stream_, *globals_->sstOffset, matcher, sharedStrings_);
    SheetSearchInput input;
    input.stream = stream_;
    input.bofOffset = sheet.bofOffset;
    input.version = version_;
    input.globals = globals_.get();
    input.sharedStrings = &sharedStrings_;
    return searchSheet(input, matcher);
}

ReaderOutcome openWorkbookStream(std::shared_ptr<const FileData> data,
                                 std::vector<std::uint8_t> ownedStream, Bytes stream) {
    if (!ownedStream.empty()) stream = ownedStream;
    RecordCursor cursor(stream, 0);
    auto bof = cursor.next();
    if (!bof || !isBof(bof->type))
        return fail(FailureKind::Corrupt, "workbook stream does not start with a BOF record");
    std::uint16_t substream = readU16At(bof->data, 2);
    if (bof->type != record::Bof || substream != kGlobalsSubstream) {
        // A lone sheet without workbook globals.
        Record first = *bof;
        return singleSheet(std::move(data), std::move(ownedStream), stream, first, "Sheet1");
    }

    auto globals = readGlobals(stream, false);
    if (!globals) return globals.failure();
    if (globals.value().filePass) {
        // Decryption works on a copy of its own.
        Record filePass = *globals.value().filePass;
        Version version = globals.value().version;
        if (ownedStream.empty()) ownedStream.assign(stream.begin(), stream.end());
        if (Status decrypted = decryptWorkbookStream(ownedStream, filePass, version); !decrypted)
            return decrypted.failure();
        stream = ownedStream;
        globals = readGlobals(stream, true);
        if (!globals) return globals.failure();
    }
    auto owned = std::make_unique<Globals>(globals.take());
    refineSheetKinds(stream, owned->sheets);
    std::vector<SheetEntry> sheets = owned->sheets;
    Version version = owned->version;
    return std::unique_ptr<WorkbookReader>(
        std::make_unique<BiffWorkbook>(std::move(data), std::move(ownedStream), stream, version,
                                       std::move(owned), std::move(sheets)));
}

ReaderOutcome openBareStream(std::shared_ptr<const FileData> data, std::string_view fileName) {
    Bytes bytes = data->bytes();
    RecordCursor cursor(bytes, 0);
    auto bof = cursor.next();
    if (!bof || !isBof(bof->type))
        return fail(FailureKind::NotAWorkbook, "file does not start with a BIFF BOF record");
    Version version = versionOfBof(*bof);
    std::uint16_t substream = readU16At(bof->data, 2);
    if (bof->type == record::Bof && substream == kGlobalsSubstream)
        return openWorkbookStream(std::move(data), {}, bytes);
    if (version == Version::Biff4 && substream == kWorkspaceSubstream)
        return biff4Workbook(std::move(data), bytes);
    std::string name = version == Version::Biff2 ? withoutExtension(fileName) : "Sheet1";
    Record first = *bof;
    return singleSheet(std::move(data), {}, bytes, first, std::move(name));
}

}  // namespace quillmark::engine::biff
